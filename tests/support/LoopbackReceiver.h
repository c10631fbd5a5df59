#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QList>

#include "support/Loopback.h"

#include <poll.h>
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

    // The datagrams that have come: waits up to ten seconds for `expected` of them (a busy
    // machine may hand loopback datagrams over well after the send), then `graceMs` for more.
    QList<QByteArray> drain(int expected, int graceMs = 50) {
        QList<QByteArray> datagrams;
        QDeadlineTimer deadline(10000);
        char buffer[65536];
        for (;;) {
            pollfd ready{mSocket, POLLIN, 0};
            const int waitMs =
                datagrams.size() < expected ? int(deadline.remainingTime()) : graceMs;
            if (::poll(&ready, 1, waitMs) <= 0) {
                return datagrams;
            }
            const ssize_t got = ::recv(mSocket, buffer, sizeof buffer, MSG_DONTWAIT);
            if (got >= 0) {
                datagrams.append(QByteArray(buffer, int(got)));
            }
        }
    }

private:
    int mSocket = -1;
    int mPort = 0;
};
