#include "stream/UdpReceiveSource.h"

#include "platform/MonotonicClock.h"
#include "platform/SystemLog.h"

#include <QSocketNotifier>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

std::unique_ptr<UdpReceiveSource> UdpReceiveSource::listen(const QString &address, int port,
                                                           QString *error) {
    if (port < 0 || port > 65535) {
        *error = QStringLiteral("%1 is not a UDP port (0 to 65535)").arg(port);
        return nullptr;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(quint16(port));
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (!address.isEmpty() && ::inet_aton(address.toUtf8().constData(), &local.sin_addr) == 0) {
        *error = QStringLiteral("\"%1\" is not an IPv4 address").arg(address);
        return nullptr;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_UDP);
    if (fd < 0) {
        *error = QStringLiteral("cannot open a UDP socket: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    if (::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(address.isEmpty() ? QStringLiteral("0.0.0.0") : address)
                     .arg(port)
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return nullptr;
    }
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length);
    const int bound = ntohs(local.sin_port);
    return std::unique_ptr<UdpReceiveSource>(new UdpReceiveSource(
        fd, bound, QStringLiteral("stream received on UDP port %1").arg(bound)));
}

UdpReceiveSource::UdpReceiveSource(int socket, int port, QString description)
    : mSocket(socket),
      mPort(port),
      mDescription(std::move(description)),
      mNotifier(new QSocketNotifier(socket, QSocketNotifier::Read, this)),
      mReportTimer(new QTimer(this)) {
    connect(mNotifier, &QSocketNotifier::activated, this, &UdpReceiveSource::readPending);
    mReportTimer->setSingleShot(true);
    mReportTimer->setInterval(1000);
    connect(mReportTimer, &QTimer::timeout, this, &UdpReceiveSource::reportDropped);
}

UdpReceiveSource::~UdpReceiveSource() {
    // The drops of the last part second would otherwise never be told.
    if (mDroppedSinceReport > 0) {
        reportDropped();
    }
    ::close(mSocket);
}

bool UdpReceiveSource::parseDatagram(const QByteArray &datagram, SampleLine::Values *values) {
    return datagram.endsWith('\n') && datagram.count('\n') == 1 &&
           datagram.count(',') >= 4 && SampleLine::parse(datagram, values);
}

void UdpReceiveSource::readPending() {
    char buffer[2048];
    for (;;) {
        const ssize_t got = ::recv(mSocket, buffer, sizeof buffer, 0);
        if (got < 0) {
            return;  // drained (EAGAIN) or a transient error: the notifier calls again
        }
        SampleLine::Values values;
        // A datagram that fills the buffer may have been cut short.
        if (got == sizeof buffer ||
            !parseDatagram(QByteArray::fromRawData(buffer, got), &values)) {
            ++mDroppedTotal;
            if (mDroppedSinceReport++ == 0) {
                mReportTimer->start();
            }
            continue;
        }
        if (mDelegate) {
            mDelegate->accelerometerDidAccelerate(
                this, {values.x, values.y, values.z, monotonicSeconds()});
        }
    }
}

void UdpReceiveSource::reportDropped() {
    SHAKELOG_LOG("Dropped %llu malformed datagrams on UDP port %d",
                 static_cast<unsigned long long>(mDroppedSinceReport), mPort);
    mDroppedSinceReport = 0;
}
