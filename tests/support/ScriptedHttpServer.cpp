#include "support/ScriptedHttpServer.h"

#include "support/Loopback.h"

#include <QList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

ScriptedHttpServer::ScriptedHttpServer(std::vector<Step> script, int readChunk, int readPauseMs)
    : mScripts{std::move(script)}, mReadChunk(readChunk), mReadPauseMs(readPauseMs) {
    start();
}

ScriptedHttpServer::ScriptedHttpServer(std::vector<std::vector<Step>> scripts)
    : mScripts(std::move(scripts)), mReadChunk(0), mReadPauseMs(0) {
    start();
}

void ScriptedHttpServer::start() {
    mListener = bindLoopback(SOCK_STREAM, &mPort);
    if (mReadChunk > 0) {
        const int small = 64 * 1024;  // a slow reader keeps the sender waiting
        ::setsockopt(mListener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    }
    ::listen(mListener, 4);
    mThread = std::thread([this] { serve(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
    mStopping.store(true);
    ::shutdown(mListener, SHUT_RDWR);
    mThread.join();
    ::close(mListener);
}

QByteArray ScriptedHttpServer::response(int status, const QByteArray &body,
                                        const QByteArray &extraFields) {
    return "HTTP/1.1 " + QByteArray::number(status) +
           " X\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + extraFields +
           "Connection: close\r\n\r\n" + body;
}

QByteArray ScriptedHttpServer::url(const QByteArray &path) const {
    return "http://127.0.0.1:" + QByteArray::number(mPort) + path;
}

QByteArray ScriptedHttpServer::request() const {
    std::lock_guard lock(mMutex);
    return mRequests.isEmpty() ? QByteArray() : mRequests.first();
}

QList<QByteArray> ScriptedHttpServer::requests() const {
    std::lock_guard lock(mMutex);
    return mRequests;
}

bool ScriptedHttpServer::readRequest(int connection) {
    // The request: header first, then as much body as Content-Length announces.
    QByteArray received;
    qsizetype headerEnd = -1;
    qsizetype bodyLength = 0;
    char buffer[65536];
    // A slow reader keeps a steady pace (readChunk bytes per readPauseMs), whatever its own
    // overhead: it sleeps until the schedule says the next chunk is due.
    const auto begin = std::chrono::steady_clock::now();
    while (!mStopping.load()) {
        if (headerEnd >= 0 && received.size() >= headerEnd + 4 + bodyLength) {
            break;
        }
        const size_t want = headerEnd >= 0 && mReadChunk > 0 ? size_t(mReadChunk) : sizeof buffer;
        const ssize_t got = ::recv(connection, buffer, std::min(want, sizeof buffer), 0);
        if (got <= 0) {
            return false;
        }
        received.append(buffer, got);
        if (headerEnd < 0 && (headerEnd = received.indexOf("\r\n\r\n")) >= 0) {
            for (const QByteArray &line : received.left(headerEnd).split('\n')) {
                if (line.toLower().startsWith("content-length:")) {
                    bodyLength = line.mid(15).trimmed().toLongLong();
                }
            }
        }
        if (headerEnd >= 0 && mReadChunk > 0 && mReadPauseMs > 0) {
            const qsizetype bodyRead = received.size() - headerEnd - 4;
            std::this_thread::sleep_until(
                begin + std::chrono::milliseconds(bodyRead * mReadPauseMs / mReadChunk));
        }
    }
    std::lock_guard lock(mMutex);
    mRequests.append(received);
    return true;
}

bool ScriptedHttpServer::send(int connection, const QByteArray &bytes) {
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        pollfd writable{connection, POLLOUT, 0};
        if (mStopping.load()) {
            return false;
        }
        if (::poll(&writable, 1, 50) == 0) {
            continue;
        }
        const ssize_t n = ::send(connection, bytes.constData() + sent, size_t(bytes.size() - sent),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += n;
    }
    return true;
}

void ScriptedHttpServer::sleep(int ms) {
    for (int waited = 0; waited < ms && !mStopping.load(); waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, ms - waited)));
    }
}

void ScriptedHttpServer::serve() {
    int connection = -1;
    for (const std::vector<Step> &script : mScripts) {
        if (connection < 0) {
            pollfd listening{mListener, POLLIN, 0};
            while (!mStopping.load() && ::poll(&listening, 1, 50) == 0) {
            }
            if (mStopping.load()) {
                break;
            }
            connection = ::accept4(mListener, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection < 0) {
                break;
            }
        }
        readRequest(connection);
        for (const Step &step : script) {
            if (mStopping.load() || connection < 0) {
                break;
            }
            switch (step.kind) {
            case Step::Write: send(connection, step.bytes); break;
            case Step::Trickle: {
                const int on = 1;  // no coalescing: one byte, one segment
                ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                for (qsizetype i = 0; i < step.bytes.size(); ++i) {
                    if (i > 0) {
                        sleep(step.milliseconds);
                    }
                    if (!send(connection, step.bytes.mid(i, 1))) {
                        break;
                    }
                }
                break;
            }
            case Step::Repeat:
                for (long long i = 0; step.times < 0 || i < step.times; ++i) {
                    if (!send(connection, step.bytes)) {
                        break;
                    }
                }
                break;
            case Step::Pause: sleep(step.milliseconds); break;
            case Step::Hold: {
                const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
                mHolding.store(true);
                while (!mReleased.load() && !mStopping.load() &&
                       std::chrono::steady_clock::now() < until) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2));
                }
                mHolding.store(false);
                mReleased.store(false);
                break;
            }
            case Step::Reset: {
                linger hard{1, 0};  // RST instead of FIN
                ::setsockopt(connection, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
                ::close(connection);
                connection = -1;
                break;
            }
            case Step::Close:
                ::close(connection);
                connection = -1;
                break;
            }
        }
    }
    if (connection >= 0) {
        ::close(connection);
    }
    mDone.store(true);
}
