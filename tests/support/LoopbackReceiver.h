#pragma once

#include <QByteArray>
#include <QList>

#include "support/Loopback.h"

#include <unistd.h>

// A UDP socket bound to 127.0.0.1 on a free port, collecting what arrives.
class LoopbackReceiver {
public:
    LoopbackReceiver() {
        mSocket = bindLoopback(SOCK_DGRAM, &mPort);
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
