#pragma once

#include <QByteArray>
#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A UDP socket bound to 127.0.0.1 on a free port, collecting what arrives.
class LoopbackReceiver {
public:
    LoopbackReceiver() {
        mSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(mSocket, reinterpret_cast<sockaddr *>(&local), sizeof local);
        socklen_t length = sizeof local;
        ::getsockname(mSocket, reinterpret_cast<sockaddr *>(&local), &length);
        mPort = ntohs(local.sin_port);
        const int big = 4 << 20;
        ::setsockopt(mSocket, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    }
    ~LoopbackReceiver() { ::close(mSocket); }
    LoopbackReceiver(const LoopbackReceiver &) = delete;
    LoopbackReceiver &operator=(const LoopbackReceiver &) = delete;

    int port() const { return mPort; }

    // Every datagram waiting now (after a short grace for loopback delivery).
    QList<QByteArray> drain(int graceMs = 50) {
        QList<QByteArray> datagrams;
        timeval timeout{0, graceMs * 1000};
        ::setsockopt(mSocket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::recv(mSocket, buffer, sizeof buffer, 0);
            if (got < 0) {
                return datagrams;
            }
            datagrams.append(QByteArray(buffer, int(got)));
        }
    }

private:
    int mSocket = -1;
    int mPort = 0;
};
