#include "stream/SampleStream.h"

#include "platform/SystemLog.h"
#include "platform/ThreeDecimals.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

// The numbers after the device name: ",%.3f,%1.3f,%1.3f,%1.3f\n" (a width of 1 never pads).
constexpr size_t kNumbersMaxLength = 4 * (1 + kThreeDecimalsMaxLength) + 1;

// Room enough for any datagram of this device name.
size_t datagramCapacity(const QByteArray &deviceName) {
    return size_t(deviceName.size()) + kNumbersMaxLength;
}

// Writes the datagram at `out`, which holds datagramCapacity(deviceName) bytes; returns its end.
char *writeDatagram(char *out, const QByteArray &deviceName, double absTime, double x, double y,
                    double z) {
    std::memcpy(out, deviceName.constData(), size_t(deviceName.size()));
    out += deviceName.size();
    const double numbers[] = {absTime, x, y, z};
    out = formatThreeDecimals(numbers, ',', out);
    *out++ = '\n';
    return out;
}

}  // namespace

SampleStream::~SampleStream() {
    if (mSocket >= 0) {
        ::close(mSocket);
    }
}

QByteArray SampleStream::datagram(const QString &deviceName, double absTime, double x, double y,
                                  double z) {
    const QByteArray name = deviceName.toUtf8();
    QByteArray line(qsizetype(datagramCapacity(name)), Qt::Uninitialized);
    line.truncate(writeDatagram(line.data(), name, absTime, x, y, z) - line.data());
    return line;
}

bool SampleStream::open(int port) {
    if (mSocket >= 0) {
        return true;
    }
    mSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (mSocket < 0) {
        return false;
    }
    const int on = 1;
    ::setsockopt(mSocket, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    mTarget = sockaddr_in{};
    mTarget.sin_family = AF_INET;
    mTarget.sin_addr.s_addr = INADDR_BROADCAST;
    setPort(port);
    return true;
}

bool SampleStream::setPort(int port) {
    // The port would otherwise be taken modulo 65536 and aim the stream somewhere unintended.
    if (port < 1 || port > 65535) {
        SHAKELOG_LOG("PORT %d is not a UDP port (1 to 65535); the stream keeps port %d", port,
                     int(ntohs(mTarget.sin_port)));
        return false;
    }
    mTarget.sin_port = htons(quint16(port));
    return true;
}

void SampleStream::bind(bool broadcast, const QString &ip, int port) {
    int option = 1;
    if (broadcast) {
        mTarget.sin_addr.s_addr = INADDR_BROADCAST;
    } else {
        const QByteArray text = ip.toUtf8();
        // A log line, not standard output, which carries a headless run's rate lines.
        SystemLog::log(QStringLiteral("addr=%1").arg(ip));
        in_addr parsed{};
        if (::inet_aton(text.constData(), &parsed) != 0) {
            mTarget.sin_addr = parsed;
        } else {
            char kept[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &mTarget.sin_addr, kept, sizeof kept);
            SystemLog::log(QStringLiteral("IP \"%1\" is not an IPv4 address; the stream keeps %2")
                               .arg(ip, QString::fromLatin1(kept)));
        }
        setPort(port);
        option = 0;
    }
    mBroadcast = broadcast;
    if (mSocket >= 0) {
        ::setsockopt(mSocket, SOL_SOCKET, SO_BROADCAST, &option, sizeof option);
    }
}

void SampleStream::send(const QByteArray &datagram) {
    sendBytes(datagram.constData(), size_t(datagram.size()));
}

void SampleStream::sendSample(const QByteArray &deviceName, double absTime, double x, double y,
                              double z) {
    if (mLine.size() < datagramCapacity(deviceName)) {
        mLine.resize(datagramCapacity(deviceName));
    }
    const char *end = writeDatagram(mLine.data(), deviceName, absTime, x, y, z);
    sendBytes(mLine.data(), size_t(end - mLine.data()));
}

void SampleStream::sendBytes(const char *bytes, size_t length) {
    // Nothing goes out without a port, nor to the broadcast address that the socket starts
    // aimed at while broadcast is off (no valid address was given since).
    if (mSocket < 0 || mTarget.sin_port == 0 ||
        (!mBroadcast && mTarget.sin_addr.s_addr == INADDR_BROADCAST)) {
        return;
    }
    const ssize_t sent = ::sendto(mSocket, bytes, length, 0,
                                  reinterpret_cast<const sockaddr *>(&mTarget), sizeof mTarget);
    if (sent < 0) {
        SHAKELOG_LOG("Socket error %d udp %d", errno, mSocket);
    }
}

bool SampleStream::broadcastOption() const {
    int value = 0;
    socklen_t length = sizeof value;
    if (mSocket < 0 || ::getsockopt(mSocket, SOL_SOCKET, SO_BROADCAST, &value, &length) != 0) {
        return false;
    }
    return value != 0;
}
