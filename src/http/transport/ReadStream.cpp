#include "http/transport/ReadStream.h"

#include "http/transport/RunLoop.h"
#include "http/transport/TransferThread.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <thread>

namespace {
// Received body bytes held before the transfer is paused: keeps memory flat when the reader
// (2048 bytes an event) is slower than the network.
constexpr qsizetype kIncomingLimit = 256 * 1024;
}  // namespace

std::shared_ptr<ReadStream> ReadStream::createForStreamedHTTPRequest(const HttpMessage &message) {
    std::shared_ptr<ReadStream> stream(new ReadStream);
    CURL *easy = curl_easy_init();
    if (!easy) {
        return nullptr;
    }
    stream->mEasy = easy;
    // A user name and password in the URL answer a challenge; they never go out unasked.
    stream->mUrl = message.url.toEncoded(QUrl::RemoveUserInfo);
    stream->mBody = message.body;
    ReadStream *self = stream.get();
    curl_easy_setopt(easy, CURLOPT_URL, stream->mUrl.constData());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, self);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    // Loopback never goes through a proxy from the environment; everything else as curl does.
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "localhost,127.0.0.0/8,::1");
    // Through an HTTPS proxy the proxy's own "200 Connection established" is no answer of the
    // server's: only the server's response reaches the header callback.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // A private server's certificate authority is trusted the way OpenSSL programs are told to:
    // SSL_CERT_FILE names the bundle to verify with instead of the system's.
    if (const QByteArray bundle = qgetenv("SSL_CERT_FILE"); !bundle.isEmpty()) {
        curl_easy_setopt(easy, CURLOPT_CAINFO, bundle.constData());  // curl keeps a copy
    }
    // The detail behind an error code ("unable to get local issuer certificate"), for the
    // message of a failure.
    static_assert(sizeof stream->mErrorText >= CURL_ERROR_SIZE);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, stream->mErrorText.data());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &ReadStream::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, self);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &ReadStream::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, self);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &ReadStream::onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, self);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);

    const QByteArray &method = message.method;
    if (method == "HEAD") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else if (message.body.isEmpty() && method != "POST" && method != "PUT") {
        // Without a body the message carries no Content-Length of curl's (DELETE, OPTIONS).
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
        if (method != "GET") {
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.constData());
        }
    } else {
        // The body travels in the message; curl reads it from us so that we can count it.
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(message.body.size()));
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, &ReadStream::onUpload);
        curl_easy_setopt(easy, CURLOPT_READDATA, self);
        // A kept-alive connection the server has closed meanwhile is found out only when the
        // request goes out on it: curl then sends it again on a new one, from the start.
        curl_easy_setopt(easy, CURLOPT_SEEKFUNCTION, &ReadStream::onSeek);
        curl_easy_setopt(easy, CURLOPT_SEEKDATA, self);
        if (method != "POST") {
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, method.constData());
        }
    }
    // The message carries exactly the request's fields. curl drops "Name:" (its way of removing
    // a field), so an empty value is written "Name;"; and it adds a Content-Type of its own to a
    // body without one, which "Content-Type:" removes.
    bool hasContentType = false;
    for (const auto &[name, value] : message.headerFields) {
        hasContentType = hasContentType || name.compare("Content-Type", Qt::CaseInsensitive) == 0;
        const QByteArray line = value.isEmpty() ? name + ';' : name + ": " + value;
        stream->mHeaderList = curl_slist_append(stream->mHeaderList, line.constData());
    }
    if (!hasContentType) {
        stream->mHeaderList = curl_slist_append(stream->mHeaderList, "Content-Type:");
    }
    // No 100-continue round trip: servers rarely answer it, and curl would wait a second.
    stream->mHeaderList = curl_slist_append(stream->mHeaderList, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, stream->mHeaderList);
    return stream;
}

ReadStream::~ReadStream() {
    // The easy handle first: it still points at the header list.
    if (mEasy) {
        curl_easy_cleanup(mEasy);
    }
    curl_slist_free_all(mHeaderList);
}

bool ReadStream::setClient(int mask, Client client) {
    std::lock_guard lock(mMutex);
    if (mClosed && client) {
        return false;
    }
    mMask = client ? mask : 0;
    mClient = std::move(client);
    return true;
}

void ReadStream::scheduleWithRunLoop(RunLoop &runLoop, const QString &mode) {
    {
        std::lock_guard lock(mMutex);
        mRunLoop = &runLoop;
        mMode = mode;
    }
    runLoop.schedule(shared_from_this());
}

void ReadStream::unscheduleFromRunLoop(RunLoop &, const QString &) {
    RunLoop *runLoop = nullptr;
    {
        std::lock_guard lock(mMutex);
        runLoop = mRunLoop;
    }
    // Only the stream's own thread touches its run loop; from elsewhere the loop drops a
    // closed stream by itself at its next pass.
    if (runLoop && runLoop == &RunLoop::current()) {
        runLoop->unschedule(this);
        std::lock_guard lock(mMutex);
        mRunLoop = nullptr;
    }
}

bool ReadStream::open() {
    {
        std::lock_guard lock(mMutex);
        if (mClosed || mOpened || !mRunLoop) {
            return false;
        }
        mOpened = true;
    }
    TransferThread::shared().add(shared_from_this());
    return true;
}

void ReadStream::close() {
    std::lock_guard lock(mMutex);
    if (mClosed) {
        return;
    }
    mClosed = true;
    RunLoop *runLoop = mOpened ? mRunLoop : nullptr;
    if (!runLoop) {
        return;
    }
    TransferThread::shared().remove(shared_from_this());
    if (runLoop != &RunLoop::current()) {
        // Its own thread lets go of the stream. Woken under our lock: a loop whose thread is
        // ending lets go of us under this same lock before it is destroyed.
        runLoop->wakeUp();
    }
}

void ReadStream::runLoopGone() {
    bool opened;
    {
        std::lock_guard lock(mMutex);
        mRunLoop = nullptr;
        opened = std::exchange(mOpened, false);
    }
    if (opened) {
        TransferThread::shared().remove(shared_from_this());
    }
}

void ReadStream::signalEvents() {
    std::lock_guard lock(mMutex);
    // Under our lock: a loop whose thread is ending lets go of us under it first.
    if (std::exchange(mEventDue, false) && mRunLoop && !mClosed) {
        mRunLoop->wakeUp();
    }
}

bool ReadStream::isClosed() const {
    std::lock_guard lock(mMutex);
    return mClosed;
}

qint64 ReadStream::read(char *buffer, qint64 maxLength) {
    bool resume = false;
    qint64 count = 0;
    {
        std::lock_guard lock(mMutex);
        if (mIncoming.isEmpty()) {
            return mDone && mResult != CURLE_OK ? -1 : 0;
        }
        count = std::min<qint64>(maxLength, mIncoming.size());
        std::memcpy(buffer, mIncoming.constData(), size_t(count));
        mIncoming.remove(0, count);
        if (mPaused && mIncoming.size() < kIncomingLimit / 2) {
            mPaused = false;
            resume = true;
        }
    }
    if (resume) {
        TransferThread::shared().resume(shared_from_this());
    }
    return count;
}

HttpResponseHeader ReadStream::responseHeader() const {
    std::lock_guard lock(mMutex);
    return mHeader;
}

std::optional<TransportError> ReadStream::copyError() const {
    std::lock_guard lock(mMutex);
    if (!mDone || mResult == CURLE_OK) {
        return std::nullopt;
    }
    const QString detail = QString::fromUtf8(mErrorText.data()).trimmed();
    return TransportError{mResult, detail.isEmpty()
                                       ? QString::fromUtf8(curl_easy_strerror(CURLcode(mResult)))
                                       : detail};
}

int ReadStream::takePendingEvent() {
    std::lock_guard lock(mMutex);
    if (mClosed) {
        return 0;
    }
    int event = 0;
    if (mOpened && !mOpenSignalled) {
        mOpenSignalled = true;
        event = OpenCompleted;
    } else if (!mIncoming.isEmpty() || (mHeader.complete && !mHeaderSignalled)) {
        mHeaderSignalled = mHeaderSignalled || mHeader.complete;
        event = HasBytesAvailable;
    } else if (mDone && !mEndSignalled) {
        mEndSignalled = true;
        event = mResult == CURLE_OK ? EndEncountered : ErrorOccurred;
    }
    return event & mMask ? event : (event ? -1 : 0);
}

void ReadStream::deliver(int event) {
    Client client;
    {
        std::lock_guard lock(mMutex);
        client = mClient;
    }
    if (client && event > 0) {
        client(*this, Event(event));
    }
}

void ReadStream::transferDone(int curlCode) {
    std::lock_guard lock(mMutex);
    mDone = true;
    mResult = curlCode;
    mEventDue = true;
}

size_t ReadStream::onHeader(char *data, size_t size, size_t count, void *self) {
    auto *stream = static_cast<ReadStream *>(self);
    stream->mHeaderBytes += size * count;
    const QByteArray line(data, qsizetype(size * count));
    std::lock_guard lock(stream->mMutex);
    stream->mHeader.addLine(line);
    stream->mEventDue = stream->mEventDue || stream->mHeader.complete;
    return size * count;
}

size_t ReadStream::onBody(char *data, size_t size, size_t count, void *self) {
    auto *stream = static_cast<ReadStream *>(self);
    std::lock_guard lock(stream->mMutex);
    if (stream->mIncoming.size() >= kIncomingLimit) {
        stream->mPaused = true;
        return CURL_WRITEFUNC_PAUSE;  // curl keeps these bytes and offers them again
    }
    stream->mIncoming.append(data, qsizetype(size * count));
    stream->mEventDue = true;
    return size * count;
}

size_t ReadStream::onUpload(char *data, size_t size, size_t count, void *self) {
    auto *stream = static_cast<ReadStream *>(self);
    std::lock_guard lock(stream->mMutex);
    const qsizetype n =
        std::min<qsizetype>(qsizetype(size * count), stream->mBody.size() - stream->mBodyOffset);
    std::memcpy(data, stream->mBody.constData() + stream->mBodyOffset, size_t(n));
    stream->mBodyOffset += n;
    return size_t(n);
}

int ReadStream::onProgress(void *self, long long, long long, long long, long long uploaded) {
    static_cast<ReadStream *>(self)->mBytesWritten.store(quint64(std::max(0LL, uploaded)));
    return 0;
}

int ReadStream::onSeek(void *self, long long offset, int origin) {
    auto *stream = static_cast<ReadStream *>(self);
    std::lock_guard lock(stream->mMutex);
    if (origin != SEEK_SET || offset < 0 || offset > stream->mBody.size()) {
        return CURL_SEEKFUNC_CANTSEEK;
    }
    stream->mBodyOffset = qsizetype(offset);
    return CURL_SEEKFUNC_OK;
}
