#include "support/ConnectProxy.h"

#include "support/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

ConnectProxy::ConnectProxy(int targetPort) : mTargetPort(targetPort) {
    mListener = bindLoopback(SOCK_STREAM, &mPort);
    ::listen(mListener, 4);
    mThread = std::thread([this] { serve(); });
}

ConnectProxy::~ConnectProxy() {
    mStopping.store(true);
    ::shutdown(mListener, SHUT_RDWR);
    mThread.join();
    ::close(mListener);
}

QByteArray ConnectProxy::connectRequest() const {
    return mHaveRequest.load() ? mConnectRequest : QByteArray();
}

void ConnectProxy::serve() {
    pollfd listening{mListener, POLLIN, 0};
    while (!mStopping.load() && ::poll(&listening, 1, 50) == 0) {
    }
    const int client = mStopping.load() ? -1 : ::accept4(mListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
        return;
    }
    QByteArray request;
    char buffer[16384];
    while (!request.contains("\r\n\r\n")) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            ::close(client);
            return;
        }
        request.append(buffer, n);
    }
    mConnectRequest = request;
    mHaveRequest.store(true);
    const int target = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(mTargetPort));
    if (!request.startsWith("CONNECT ") ||
        ::connect(target, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::send(client, "HTTP/1.1 502 X\r\n\r\n", 18, MSG_NOSIGNAL);
    } else {
        const char established[] = "HTTP/1.1 200 Connection established\r\n\r\n";
        ::send(client, established, sizeof established - 1, MSG_NOSIGNAL);
        pollfd ends[2] = {{client, POLLIN, 0}, {target, POLLIN, 0}};
        while (!mStopping.load()) {
            if (::poll(ends, 2, 50) <= 0) {
                continue;
            }
            bool closed = false;
            for (int i = 0; i < 2; ++i) {
                if (ends[i].revents & (POLLIN | POLLHUP | POLLERR)) {
                    const ssize_t n = ::recv(ends[i].fd, buffer, sizeof buffer, 0);
                    if (n <= 0 || ::send(ends[1 - i].fd, buffer, size_t(n), MSG_NOSIGNAL) != n) {
                        closed = true;
                    }
                }
            }
            if (closed) {
                break;
            }
        }
    }
    ::close(target);
    ::close(client);
}
