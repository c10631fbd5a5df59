#pragma once

#include <QByteArray>
#include <QList>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

// A one-connection HTTP server on 127.0.0.1 for tests, on a thread of its own: it accepts one
// connection, reads the request (header and Content-Length body, optionally slowly), records
// its raw bytes, then plays its script: write bytes (at once, a byte at a time, or over and
// over), pause, hold until the test releases it, close, or reset the connection.
class ScriptedHttpServer {
public:
    struct Step {
        enum Kind { Write, Trickle, Repeat, Pause, Hold, Close, Reset } kind;
        QByteArray bytes;
        int milliseconds = 0;
        long long times = 0;
    };
    static Step write(const QByteArray &bytes) { return {Step::Write, bytes, 0}; }
    // Each byte in a segment of its own, `ms` apart: the client sees every line arrive in pieces.
    static Step trickle(const QByteArray &bytes, int ms) { return {Step::Trickle, bytes, ms}; }
    // `bytes` `times` over, as fast as the client takes them; -1: until the client lets go of
    // the connection, which ends the script.
    static Step repeat(const QByteArray &bytes, long long times = -1) {
        return {Step::Repeat, bytes, 0, times};
    }
    static Step pause(int ms) { return {Step::Pause, {}, ms}; }
    // Sends nothing until release() (or the server goes; at most a minute): where the test must
    // act between two pieces of an answer, whatever the machine's load, rather than in a pause.
    static Step hold() { return {Step::Hold, {}, 0}; }
    static Step close() { return {Step::Close, {}, 0}; }
    static Step reset() { return {Step::Reset, {}, 0}; }
    // A whole response that closes the connection: status line (the reason phrase means
    // nothing to a client, so it is "X"), Content-Length, `extraFields` (each ending in CRLF)
    // and the body.
    static QByteArray response(int status, const QByteArray &body = {},
                               const QByteArray &extraFields = {});

    // `readChunk`/`readPauseMs`: read the request body that many bytes at a time with a pause
    // between reads (0: at once).
    explicit ScriptedHttpServer(std::vector<Step> script, int readChunk = 0, int readPauseMs = 0);
    // One script per request, in order: a request comes on the same connection while the
    // previous script left it open, else on a new one.
    explicit ScriptedHttpServer(std::vector<std::vector<Step>> scripts);
    ~ScriptedHttpServer();
    ScriptedHttpServer(const ScriptedHttpServer &) = delete;
    ScriptedHttpServer &operator=(const ScriptedHttpServer &) = delete;

    int port() const { return mPort; }
    QByteArray url(const QByteArray &path = "/") const;
    // The raw request, once it has been read whole; requests() has every one.
    QByteArray request() const;
    QList<QByteArray> requests() const;
    bool scriptDone() const { return mDone.load(); }
    // Whether the script waits at a hold, everything before it sent; release() lets it go on.
    bool holding() const { return mHolding.load(); }
    void release() { mReleased.store(true); }

private:
    void start();
    void serve();
    // Reads one request from `connection`; false when the peer went away first.
    bool readRequest(int connection);
    // Sends all of `bytes`; false once the peer is gone or the server stops (a peer that no
    // longer reads cannot hold the server's end).
    bool send(int connection, const QByteArray &bytes);
    void sleep(int ms);

    int mListener = -1;
    int mPort = 0;
    std::vector<std::vector<Step>> mScripts;
    int mReadChunk;
    int mReadPauseMs;
    mutable std::mutex mMutex;
    QList<QByteArray> mRequests;
    std::atomic<bool> mDone{false};
    std::atomic<bool> mStopping{false};
    std::atomic<bool> mHolding{false};
    std::atomic<bool> mReleased{false};
    std::thread mThread;
};
