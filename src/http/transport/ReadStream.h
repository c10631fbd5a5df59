#pragma once

#include "http/transport/HttpMessage.h"

#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class RunLoop;
typedef void CURL;

// The transport's own error: a libcurl result code and curl's account of it (the detail where
// curl gives one, as "SSL certificate problem: unable to get local issuer certificate", else the
// text of the code).
struct TransportError {
    int code = 0;
    QString message;
};

// The stream of one HTTP exchange, over a libcurl easy handle: made for a request message,
// scheduled on a thread's run loop, opened, read in pieces. Its client hears of four events.
// Everything but close() (and the byte counters) is called on the thread whose run loop it is
// scheduled on; close() may come from any thread. The transfer itself runs on the
// TransferThread, which alone touches the easy handle once the stream is open.
class ReadStream : public std::enable_shared_from_this<ReadStream> {
public:
    enum Event { OpenCompleted = 1, HasBytesAvailable = 2, ErrorOccurred = 8, EndEncountered = 16 };
    using Client = std::function<void(ReadStream &stream, Event event)>;

    // None when no transfer can be set up for the message.
    static std::shared_ptr<ReadStream> createForStreamedHTTPRequest(const HttpMessage &message);
    ~ReadStream();
    ReadStream(const ReadStream &) = delete;
    ReadStream &operator=(const ReadStream &) = delete;

    // Registers the client for the events in `mask`; an empty client removes it. False once
    // the stream is closed.
    bool setClient(int mask, Client client);
    void scheduleWithRunLoop(RunLoop &runLoop, const QString &mode);
    void unscheduleFromRunLoop(RunLoop &runLoop, const QString &mode);
    // Starts the exchange; false when the stream is not scheduled or the transfer is refused.
    bool open();
    void close();

    // Copies up to `maxLength` body bytes: the count, 0 when none are there now, -1 on error.
    qint64 read(char *buffer, qint64 maxLength);
    // The response header as received so far.
    HttpResponseHeader responseHeader() const;
    // Request body bytes handed to the connection so far.
    quint64 requestBytesWritten() const { return mBytesWritten.load(); }
    // Bytes of the response's header lines so far (interim responses included).
    quint64 responseHeaderBytes() const { return mHeaderBytes.load(); }
    std::optional<TransportError> copyError() const;

    // For the run loop: the next event due, or 0.
    int takePendingEvent();
    void deliver(int event);
    const QString &mode() const { return mMode; }
    bool isClosed() const;
    // The run loop's thread has ended: the transfer ends with it.
    void runLoopGone();

    // For the transfer thread: the curl handle; the transfer's end; and a wake-up for the run
    // loop when the callbacks have brought something for the client.
    CURL *easyHandle() const { return mEasy; }
    void transferDone(int curlCode);
    void signalEvents();

private:
    ReadStream() = default;
    static size_t onHeader(char *data, size_t size, size_t count, void *self);
    static size_t onBody(char *data, size_t size, size_t count, void *self);
    static size_t onUpload(char *data, size_t size, size_t count, void *self);
    static int onProgress(void *self, long long, long long, long long, long long uploaded);
    static int onSeek(void *self, long long offset, int origin);

    mutable std::mutex mMutex;  // guards everything below that the callbacks touch
    CURL *mEasy = nullptr;
    struct curl_slist *mHeaderList = nullptr;
    QByteArray mBody;           // the request body
    qsizetype mBodyOffset = 0;  // request body bytes handed to curl
    QByteArray mUrl;
    // curl's own account of a failure (CURLOPT_ERRORBUFFER): written by curl on the run loop's
    // thread before the transfer is done, read only after.
    std::array<char, 256> mErrorText{};
    RunLoop *mRunLoop = nullptr;
    QString mMode;
    Client mClient;
    int mMask = 0;
    bool mOpened = false;
    bool mOpenSignalled = false;
    bool mClosed = false;
    bool mDone = false;
    bool mEndSignalled = false;
    bool mHeaderSignalled = false;
    bool mPaused = false;
    bool mEventDue = false;  // the callbacks brought something the run loop has not been told of
    int mResult = 0;
    HttpResponseHeader mHeader;
    QByteArray mIncoming;  // body bytes received and not yet read
    std::atomic<quint64> mBytesWritten{0};
    std::atomic<quint64> mHeaderBytes{0};
};
