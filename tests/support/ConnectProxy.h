#pragma once

#include <QByteArray>

#include <atomic>
#include <thread>

// An HTTP proxy on 127.0.0.1 for tests of tunnelled (https) requests: it takes one connection,
// reads its CONNECT request, answers "200 Connection established" and relays bytes both ways to
// 127.0.0.1:`targetPort`, whatever host the request named — so no traffic leaves the machine.
class ConnectProxy {
public:
    explicit ConnectProxy(int targetPort);
    ~ConnectProxy();
    ConnectProxy(const ConnectProxy &) = delete;
    ConnectProxy &operator=(const ConnectProxy &) = delete;

    int port() const { return mPort; }
    // The CONNECT request as received, once it has come.
    QByteArray connectRequest() const;

private:
    void serve();

    int mListener = -1;
    int mPort = 0;
    int mTargetPort;
    std::atomic<bool> mStopping = false;
    QByteArray mConnectRequest;  // written by the proxy's thread before it relays
    std::atomic<bool> mHaveRequest = false;
    std::thread mThread;
};
