#include "http/HttpRequest.h"

#include "http/CookieStorage.h"
#include "http/transport/ReadStream.h"
#include "http/transport/RunLoop.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QStringDecoder>
#include <QThread>

#include <curl/curl.h>

const QString HttpRequest::HttpRequestRunMode = QStringLiteral("HttpRequest");

namespace {
constexpr int kReadBufferSize = 2048;
constexpr double kSliceSeconds = 0.25;
constexpr int kAllEvents = ReadStream::OpenCompleted | ReadStream::HasBytesAvailable |
                           ReadStream::ErrorOccurred | ReadStream::EndEncountered;  // 27

// Decimal text to a signed 32-bit integer the way the platform reads it: leading blanks and
// a sign, then digits up to the first other character; 0 when there are none.
qint32 intValue(const QString &text) {
    const QString t = text.trimmed();
    qsizetype end = 0;
    if (end < t.size() && (t[end] == QLatin1Char('-') || t[end] == QLatin1Char('+'))) {
        ++end;
    }
    while (end < t.size() && t[end].isDigit()) {
        ++end;
    }
    bool ok = false;
    const qint64 value = t.left(end).toLongLong(&ok);
    return ok ? qint32(std::clamp<qint64>(value, INT32_MIN, INT32_MAX)) : 0;
}
}  // namespace

namespace {
std::mutex sessionLock;  // the class-wide session values below, used by every request thread
std::optional<QList<QNetworkCookie>> theSessionCookies;
std::optional<HttpCredentials> theSessionCredentials;
std::shared_ptr<HttpAuthentication> theSessionAuthentication;
QString theSessionOrigin;  // scheme://host:port the session credentials belong to

int effectivePort(const QUrl &url) {
    return url.port(url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443
                                                                                           : 80);
}

QString originOf(const QUrl &url) {
    return QStringLiteral("%1://%2:%3")
        .arg(url.scheme().toLower(), url.host().toLower())
        .arg(effectivePort(url));
}

CredentialStore::Space spaceOf(const QString &host, int port, const QString &protocol,
                               const QString &realm) {
    return {host.toLower(), port, protocol.toLower(), realm};
}
}  // namespace

std::optional<HttpCredentials> HttpRequest::sessionCredentials() {
    std::lock_guard lock(sessionLock);
    return theSessionCredentials;
}

void HttpRequest::setSessionCredentials(const std::optional<HttpCredentials> &credentials,
                                        const QUrl &origin) {
    std::lock_guard lock(sessionLock);
    theSessionCredentials = credentials;
    theSessionOrigin = credentials && origin.isValid() ? originOf(origin) : QString();
}

std::shared_ptr<HttpAuthentication> HttpRequest::sessionAuthentication() {
    std::lock_guard lock(sessionLock);
    return theSessionAuthentication;
}

void HttpRequest::setSessionAuthentication(
    const std::shared_ptr<HttpAuthentication> &authentication) {
    std::lock_guard lock(sessionLock);
    theSessionAuthentication = authentication;
}

void HttpRequest::saveCredentials(const CredentialStore::Credential &credential,
                                  const QString &host, int port, const QString &protocol,
                                  const QString &realm) {
    CredentialStore::shared().setDefaultCredential(credential,
                                                   spaceOf(host, port, protocol, realm));
}

std::optional<CredentialStore::Credential> HttpRequest::savedCredentials(const QString &host,
                                                                         int port,
                                                                         const QString &protocol,
                                                                         const QString &realm) {
    return CredentialStore::shared().defaultCredential(spaceOf(host, port, protocol, realm));
}

void HttpRequest::removeCredentials(const QString &host, int port, const QString &protocol,
                                    const QString &realm) {
    CredentialStore::shared().removeCredential(spaceOf(host, port, protocol, realm));
}

std::optional<QList<QNetworkCookie>> HttpRequest::sessionCookies() {
    std::lock_guard lock(sessionLock);
    return theSessionCookies;
}

void HttpRequest::setSessionCookies(const std::optional<QList<QNetworkCookie>> &cookies) {
    std::optional<QList<QNetworkCookie>> replaced;
    {
        std::lock_guard lock(sessionLock);
        replaced = std::exchange(theSessionCookies, cookies);
    }
    // So that clearing the session really forgets its cookies.
    for (const QNetworkCookie &cookie : replaced.value_or(QList<QNetworkCookie>())) {
        CookieStorage::shared().removeCookie(cookie);
    }
}

void HttpRequest::clearSession() {
    setSessionAuthentication(nullptr);
    setSessionCredentials(std::nullopt);
    setSessionCookies(std::nullopt);
}

std::recursive_mutex &HttpRequest::progressLock() {
    static std::recursive_mutex lock;
    return lock;
}

HttpRequest::HttpRequest(const QUrl &url, QObject *parent) : QObject(parent), mUrl(url) {
    static const int registered = qRegisterMetaType<HttpRequest *>();
    Q_UNUSED(registered);
}

HttpRequest::~HttpRequest() { cancelLoad(); }

QObject *HttpRequest::delegate() const {
    std::lock_guard lock(mFieldLock);
    return mDelegate;
}
void HttpRequest::setDelegate(QObject *delegate) { guard(mDelegate, QPointer<QObject>(delegate)); }
QByteArray HttpRequest::didFinishSelector() const { return guarded(mDidFinishSelector); }
void HttpRequest::setDidFinishSelector(const QByteArray &name) { guard(mDidFinishSelector, name); }
QByteArray HttpRequest::didFailSelector() const { return guarded(mDidFailSelector); }
void HttpRequest::setDidFailSelector(const QByteArray &name) { guard(mDidFailSelector, name); }
QByteArray HttpRequest::requestMethod() const { return guarded(mRequestMethod); }
void HttpRequest::setRequestMethod(const QByteArray &method) { guard(mRequestMethod, method); }
std::optional<QMap<QByteArray, QByteArray>> HttpRequest::requestHeaders() const {
    return guarded(mRequestHeaders);
}
void HttpRequest::addRequestHeader(const QByteArray &name, const QByteArray &value) {
    std::lock_guard lock(mFieldLock);
    if (!mRequestHeaders) {
        mRequestHeaders.emplace();
    }
    mRequestHeaders->insert(name, value);
}
std::optional<QByteArray> HttpRequest::postBody() const { return guarded(mPostBody); }
QList<QNetworkCookie> HttpRequest::requestCookies() const { return guarded(mRequestCookies); }
void HttpRequest::setRequestCookies(const QList<QNetworkCookie> &cookies) {
    guard(mRequestCookies, cookies);
}
std::optional<QList<QNetworkCookie>> HttpRequest::responseCookies() const {
    return guarded(mResponseCookies);
}
QString HttpRequest::username() const { return guarded(mUsername); }
void HttpRequest::setUsername(const QString &username) { guard(mUsername, username); }
QString HttpRequest::password() const { return guarded(mPassword); }
void HttpRequest::setPassword(const QString &password) { guard(mPassword, password); }
QString HttpRequest::domain() const { return guarded(mDomain); }
void HttpRequest::setDomain(const QString &domain) { guard(mDomain, domain); }
std::optional<HttpCredentials> HttpRequest::requestCredentials() const {
    return guarded(mRequestCredentials);
}
QString HttpRequest::authenticationRealm() const { return guarded(mAuthenticationRealm); }
QString HttpRequest::downloadDestinationPath() const { return guarded(mDownloadDestinationPath); }
void HttpRequest::setDownloadDestinationPath(const QString &path) {
    guard(mDownloadDestinationPath, path);
}
HttpRequest::Error HttpRequest::error() const { return guarded(mError); }
std::optional<QMap<QString, QString>> HttpRequest::responseHeaders() const {
    return guarded(mResponseHeaders);
}
std::optional<QByteArray> HttpRequest::receivedData() const { return guarded(mReceivedData); }
std::optional<HttpRequest::Clock::time_point> HttpRequest::lastActivityTime() const {
    return guarded(mLastActivityTime);
}

std::optional<QString> HttpRequest::dataString() const {
    const std::optional<QByteArray> data = receivedData();
    if (!data) {
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(*data);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return text;
}

void HttpRequest::setPostBody(const std::optional<QByteArray> &body) {
    std::lock_guard lock(mFieldLock);
    mPostBody = body;
    mPostLength.store(body ? quint64(body->size()) : 0);
    addRequestHeader("Content-Length", QByteArray::number(mPostLength.load()));
    if (body && !body->isEmpty() && mRequestMethod != "POST" && mRequestMethod != "PUT") {
        mRequestMethod = "POST";
    }
}

void HttpRequest::buildPostBody() { mHaveBuiltPostBody = true; }

void HttpRequest::main() {
    mComplete.store(false);
    mRequest = HttpMessage::createRequest(requestMethod(), mUrl);
    if (!mRequest) {
        failWithError(HttpError::UnableToCreateRequestError);
        return;
    }
    if (mUseSessionPersistence) {
        // Session credentials go in advance only to the server that asked for them: sending a
        // user's password to any other host would give it away.
        std::unique_lock lock(sessionLock);
        if (theSessionCredentials && theSessionAuthentication &&
            theSessionOrigin == originOf(mUrl)) {
            if (theSessionAuthentication->applyCredentials(*mRequest, *theSessionCredentials)) {
                // This request's own from now on: a 401 in reply that only says the nonce went
                // stale is answered with them, not taken for a request that had none.
                mRequestAuthentication = theSessionAuthentication;
                guard(mRequestCredentials, theSessionCredentials);
            } else {
                theSessionCredentials.reset();
                theSessionAuthentication.reset();
            }
        }
    }
    if (mUseCookiePersistence) {
        std::lock_guard lock(mFieldLock);
        mRequestCookies += CookieStorage::shared().cookiesForURL(mUrl);
    }
    // Cookies: "a=1; b=2", each value percent-escaped (a space becomes %20).
    const QList<QNetworkCookie> cookies = requestCookies();
    if (!cookies.isEmpty()) {
        QString header;
        for (const QNetworkCookie &cookie : cookies) {
            const QString pair =
                QString::fromUtf8(cookie.name()) + QLatin1Char('=') + encodedValue(cookie);
            header = header.isEmpty() ? pair : header + QStringLiteral("; ") + pair;
        }
        addRequestHeader("Cookie", header.toUtf8());
    }
    if (!mHaveBuiltPostBody) {
        buildPostBody();
    }
    if (const auto headers = requestHeaders()) {
        for (auto it = headers->constBegin(); it != headers->constEnd(); ++it) {
            mRequest->setHeaderFieldValue(it.key(), it.value());
        }
    }
    if (const auto body = postBody()) {
        mRequest->body = *body;
    }
    loadRequest();
}

void HttpRequest::loadRequest() {
    std::unique_lock cancelled(mCancelledLock);
    if (isCancelled()) {
        return;
    }
    RunLoop &runLoop = RunLoop::current();
    runLoop.addCommonMode(HttpRequestRunMode);
    guard(mAuthenticationLock, std::make_shared<ConditionLock>(1));
    mDelegateAskedThisAttempt = false;
    mComplete.store(false);
    mTotalBytesRead.store(0);
    mLastBytesRead.store(0);
    if (mLastBytesSent.load() != 0 && uploadProgressDelegate()) {
        removeUploadProgressSoFar();
    }
    mLastBytesSent.store(0);
    mActivityBytes = 0;
    if (mShouldResetProgressIndicators) {
        mContentLength.store(0);
    }
    {
        std::lock_guard lock(mFieldLock);
        mResponseHeaders.reset();
        mReceivedData = QByteArray();
    }

    if (!mRequest->headerFieldsAreSafe()) {
        cancelled.unlock();
        failWithError(HttpError::UnableToCreateRequestError);
        return;
    }
    std::shared_ptr<ReadStream> stream = ReadStream::createForStreamedHTTPRequest(*mRequest);
    if (!stream) {
        cancelled.unlock();
        failWithError(HttpError::make(HttpError::InternalError,
                                      QStringLiteral("Unable to create read stream")));
        return;
    }
    if (!stream->setClient(kAllEvents, [this](ReadStream &, ReadStream::Event event) {
            handleNetworkEvent(event);
        })) {
        cancelled.unlock();
        failWithError(HttpError::make(HttpError::InternalError,
                                      QStringLiteral("Unable to setup read stream")));
        return;
    }
    stream->scheduleWithRunLoop(runLoop, HttpRequestRunMode);
    if (!stream->open()) {
        stream->setClient(0, {});
        stream->unscheduleFromRunLoop(runLoop, HttpRequestRunMode);
        cancelled.unlock();
        failWithError(HttpError::make(HttpError::InternalError,
                                      QStringLiteral("Unable to start HTTP connection")));
        return;
    }
    mReadStream = stream;
    mRunLoop = &runLoop;
    cancelled.unlock();

    if (uploadProgressDelegate() && mShouldResetProgressIndicators) {
        resetUploadProgress(mShowAccurateProgress ? mPostLength.load() : 1);
    }
    {
        std::lock_guard lock(mFieldLock);
        mLastActivityTime = Clock::now();
    }

    while (!mComplete.load()) {
        const Clock::time_point now = Clock::now();
        const std::optional<Clock::time_point> last = lastActivityTime();
        const double timeOut = timeOutSeconds();
        if (last && timeOut > 0 && std::chrono::duration<double>(now - *last).count() > timeOut) {
            failWithError(HttpError::RequestTimedOutError);
            cancelLoad();
            mComplete.store(true);
            break;
        }
        if (isCancelled()) {
            break;
        }
        updateProgressIndicators();
        runLoop.runInMode(HttpRequestRunMode, kSliceSeconds, true);
    }
}

QObject *HttpRequest::uploadProgressDelegate() const {
    std::lock_guard lock(mFieldLock);
    return mUploadProgressDelegate;
}
QObject *HttpRequest::downloadProgressDelegate() const {
    std::lock_guard lock(mFieldLock);
    return mDownloadProgressDelegate;
}

namespace {
void invokeNow(QObject *receiver, const char *name, quint64 count) {
    if (!receiver) {
        return;
    }
    QMetaObject::invokeMethod(receiver, name, Qt::DirectConnection, Q_ARG(quint64, count));
}

}  // namespace

void HttpRequest::setUploadProgressDelegate(QObject *delegate) {
    {
        std::lock_guard lock(mFieldLock);
        mUploadProgressDelegate = delegate;
        mUploadAggregates = answersTo(delegate, "incrementUploadProgressBy(quint64)");
    }
    attachProgressReceiver(delegate);
}

void HttpRequest::setDownloadProgressDelegate(QObject *delegate) {
    {
        std::lock_guard lock(mFieldLock);
        mDownloadProgressDelegate = delegate;
        mDownloadAggregates = answersTo(delegate, "incrementDownloadProgressBy(quint64)");
    }
    attachProgressReceiver(delegate);
}

void HttpRequest::attachProgressReceiver(QObject *receiver) {
    if (answersTo(receiver, "setMaxValue(double)")) {
        QMetaObject::invokeMethod(receiver, "setMaxValue", Qt::DirectConnection,
                                  Q_ARG(double, 1.0));
    }
}

bool HttpRequest::answersTo(QObject *receiver, const QByteArray &signature) {
    return receiver &&
           receiver->metaObject()->indexOfMethod(QMetaObject::normalizedSignature(signature)) >= 0;
}

HttpRequest::ProgressReceiver HttpRequest::uploadReceiver() const {
    std::lock_guard lock(mFieldLock);
    return {mUploadProgressDelegate, mUploadAggregates};
}

HttpRequest::ProgressReceiver HttpRequest::downloadReceiver() const {
    std::lock_guard lock(mFieldLock);
    return {mDownloadProgressDelegate, mDownloadAggregates};
}

void HttpRequest::setProgressForProgressIndicator(double progress,
                                                  const QPointer<QObject> &indicator) {
    if (!indicator) {
        return;
    }
    if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
        setProgressForProgressIndicator(progress, indicator.data());
        return;
    }
    std::lock_guard handOff(progressLock());  // one hand-off at a time (see performOnDelegate)
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [indicator, progress] {
            if (QObject *target = indicator.data()) {
                setProgressForProgressIndicator(progress, target);
            }
        },
        Qt::QueuedConnection);
}

void HttpRequest::setProgressForProgressIndicator(double progress, QObject *indicator) {
    if (!indicator) {
        return;
    }
    std::lock_guard lock(progressLock());
    const bool onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    const Qt::ConnectionType how = onMainThread ? Qt::DirectConnection : Qt::QueuedConnection;
    if (answersTo(indicator, "setProgress(float)")) {
        QMetaObject::invokeMethod(indicator, "setProgress", how, Q_ARG(float, float(progress)));
    } else if (answersTo(indicator, "setDoubleValue(double)")) {
        QMetaObject::invokeMethod(indicator, "setDoubleValue", how, Q_ARG(double, progress));
    }
}

void HttpRequest::updateProgressIndicators() {
    // The time-out counts from the last byte that moved, in either direction, header lines
    // included, whatever the progress setting: a long but healthy exchange is not ended while
    // its bytes still flow.
    const std::shared_ptr<ReadStream> stream = readStream();
    const quint64 moved = mTotalBytesRead.load() +
                          (stream ? stream->requestBytesWritten() + stream->responseHeaderBytes()
                                  : mLastBytesSent.load());
    if (moved > mActivityBytes) {
        mActivityBytes = moved;
        std::lock_guard lock(mFieldLock);
        mLastActivityTime = Clock::now();
    }
    if (mIsSizeProbe) {
        return;  // a size probe reports nothing of its own
    }
    if (!mShowAccurateProgress && !(mComplete.load() && !mUpdatedProgress.load())) {
        return;
    }
    updateUploadProgress();
    updateDownloadProgress();
}

void HttpRequest::reportProgress(const ProgressReceiver &receiver, const char *increment,
                                 quint64 done, quint64 last, quint64 total) {
    if (!receiver.object) {
        return;
    }
    // An aggregator counts units (bytes, or one for the whole request); an indicator shows a
    // fraction, and nothing while the total is unknown.
    if (receiver.aggregates) {
        quint64 count = 1;
        if (mShowAccurateProgress) {
            count = done - std::min(done, last);
        } else {
            mUpdatedProgress.store(true);
        }
        invokeNow(receiver.object.data(), increment, count);
    } else if (total > 0) {
        setProgressForProgressIndicator(double(done) / double(total), receiver.object);
    }
}

void HttpRequest::updateUploadProgress() {
    quint64 sent;
    {
        std::lock_guard cancelled(mCancelledLock);
        if (isCancelled()) {
            return;
        }
        sent = mReadStream ? mReadStream->requestBytesWritten() : mLastBytesSent.load();
    }
    reportProgress(uploadReceiver(), "incrementUploadProgressBy", sent, mLastBytesSent.load(),
                   mPostLength.load());
    mLastBytesSent.store(sent);
}

void HttpRequest::updateDownloadProgress() {
    const quint64 read = mTotalBytesRead.load();
    if (!responseHeaders()) {
        return;
    }
    reportProgress(downloadReceiver(), "incrementDownloadProgressBy", read, mLastBytesRead.load(),
                   mContentLength.load());
    mLastBytesRead.store(read);
}

void HttpRequest::announceSize(const ProgressReceiver &receiver, const char *incrementSize,
                               quint64 size) {
    std::lock_guard progress(progressLock());
    if (receiver.aggregates) {
        invokeNow(receiver.object.data(), incrementSize, size);
    } else {
        setProgressForProgressIndicator(0.0, receiver.object);
    }
}

void HttpRequest::resetUploadProgress(quint64 size) {
    announceSize(uploadReceiver(), "incrementUploadSizeBy", size);
}

void HttpRequest::resetDownloadProgress(quint64 size) {
    announceSize(downloadReceiver(), "incrementDownloadSizeBy", size);
}

void HttpRequest::removeUploadProgressSoFar() {
    const ProgressReceiver receiver = uploadReceiver();
    if (receiver.aggregates) {
        invokeNow(receiver.object.data(), "decrementUploadProgressBy", mLastBytesSent.load());
    } else {
        setProgressForProgressIndicator(0.0, receiver.object);
    }
}

void HttpRequest::handleNetworkEvent(int type) {
    switch (type) {
    case ReadStream::HasBytesAvailable: handleBytesAvailable(); break;
    case ReadStream::ErrorOccurred: handleStreamError(); break;
    case ReadStream::EndEncountered: handleStreamComplete(); break;
    default: break;
    }
}

std::shared_ptr<ReadStream> HttpRequest::readStream() const {
    std::lock_guard cancelled(mCancelledLock);
    return mReadStream;
}

bool HttpRequest::readResponseHeadersReturningAuthenticationFailure() {
    const std::shared_ptr<ReadStream> stream = readStream();
    if (!stream) {
        return false;
    }
    const HttpResponseHeader header = stream->responseHeader();
    if (!header.complete) {
        return false;
    }
    {
        std::lock_guard lock(mFieldLock);
        mResponseHeaders = header.fields;
    }
    mResponseStatusCode.store(header.statusCode);
    if (header.statusCode == 401) {
        if (mRequestAuthentication) {
            mRequestAuthentication->responseReceived(header);  // were our credentials refused?
        }
        return true;
    }
    const auto length = header.fields.constFind(QStringLiteral("Content-Length"));
    if (length != header.fields.constEnd()) {
        mContentLength.store(quint64(qint64(intValue(*length))));
        if (const std::shared_ptr<HttpRequest> main = mainRequest()) {
            main->setContentLength(mContentLength.load());
        }
        if (downloadProgressDelegate() && mShowAccurateProgress && mShouldResetProgressIndicators) {
            resetDownloadProgress(mContentLength.load());
        }
    }
    // Each Set-Cookie field on its own: joined, "a=1, b=2" would read as one cookie.
    QList<QNetworkCookie> cookies;
    for (const QString &field : header.values(QStringLiteral("Set-Cookie"))) {
        for (QNetworkCookie cookie : QNetworkCookie::parseCookies(field.toUtf8())) {
            cookie.normalize(mUrl);
            cookies.append(cookie);
        }
    }
    guard(mResponseCookies, std::optional<QList<QNetworkCookie>>(cookies));
    if (mUseCookiePersistence) {
        CookieStorage::shared().setCookies(cookies, mUrl);
        std::lock_guard lock(sessionLock);
        if (!theSessionCookies) {
            theSessionCookies = cookies;  // the first response's cookies, once
        }
    }
    return false;
}

void HttpRequest::handleBytesAvailable() {
    if (!responseHeaders() && readResponseHeadersReturningAuthenticationFailure()) {
        attemptToApplyCredentialsAndResume();
        return;
    }
    // A cancel on the main thread may let go of the stream meanwhile: read from our own hold.
    const std::shared_ptr<ReadStream> stream = readStream();
    if (!stream) {
        return;
    }
    char buffer[kReadBufferSize];
    const qint64 count = stream->read(buffer, kReadBufferSize);
    if (count < 0) {
        handleStreamError();
        return;
    }
    if (count == 0) {
        return;
    }
    mTotalBytesRead += quint64(count);
    QString writeError;
    bool tooLarge = false;
    const quint64 limit = mMaxResponseBodySize.load();
    {
        std::lock_guard lock(mFieldLock);
        if (!mDownloadDestinationPath.isEmpty()) {
            if (!mOutputStream) {
                mOutputStream = std::make_unique<QFile>(mDownloadDestinationPath);
                // Unbuffered: a write that fails (a full disk) says so at once.
                mOutputStream->open(QIODevice::WriteOnly | QIODevice::Truncate |
                                    QIODevice::Unbuffered);
            }
            if (!mOutputStream->isOpen() || mOutputStream->write(buffer, count) != count) {
                writeError = mOutputStream->errorString();
            }
        } else if (mReceivedData) {
            tooLarge = limit > 0 && quint64(mReceivedData->size()) + quint64(count) > limit;
            if (!tooLarge) {
                mReceivedData->append(buffer, count);
            }
        }
    }
    if (!writeError.isEmpty()) {
        failToWriteDownload(writeError);
    } else if (tooLarge) {
        // Kept in memory, an answer of any size would cost as much: it ends here, as a failed
        // transfer, with the reason.
        cancelLoad();
        failWithError(HttpError::make(
            HttpError::ConnectionFailure, QStringLiteral("A connection failure occurred"),
            TransportError{CURLE_FILESIZE_EXCEEDED,
                           QStringLiteral("the answer is larger than %1 bytes").arg(limit)}));
    }
}

void HttpRequest::failToWriteDownload(const QString &reason) {
    // A download that cannot be kept is no success: it ends with an error, and the partial
    // file goes.
    const QString path = downloadDestinationPath();
    cancelLoad();
    failWithError(HttpError::make(
        HttpError::InternalError,
        QStringLiteral("Unable to write the download to %1: %2").arg(path, reason)));
}

void HttpRequest::handleStreamComplete() {
    if (!responseHeaders() && readResponseHeadersReturningAuthenticationFailure()) {
        attemptToApplyCredentialsAndResume();
        return;
    }
    QString writeError;
    {
        std::lock_guard progress(progressLock());
        mComplete.store(true);
        updateProgressIndicators();
        std::lock_guard cancelled(mCancelledLock);
        closeReadStream();
        std::lock_guard lock(mFieldLock);
        if (mOutputStream) {
            if (!mOutputStream->flush()) {
                writeError = mOutputStream->errorString();
            }
            mOutputStream->close();
        }
    }
    if (!writeError.isEmpty()) {
        failToWriteDownload(writeError);
        return;
    }
    requestFinished();
}

void HttpRequest::handleStreamError() {
    mComplete.store(true);
    const std::shared_ptr<ReadStream> stream = readStream();
    const std::optional<TransportError> underlying = stream ? stream->copyError() : std::nullopt;
    cancelLoad();
    if (!error()) {
        failWithError(HttpError::make(HttpError::ConnectionFailure,
                                      QStringLiteral("A connection failure occurred"), underlying));
    }
}

void HttpRequest::failWithError(const Error &theError) {
    mComplete.store(true);
    {
        std::lock_guard lock(mFieldLock);
        if (mError || mOutcomeReported.exchange(true)) {
            return;  // the first outcome stays, and is reported once
        }
        mError = theError;
    }
    performOnDelegate(didFailSelector());
}

void HttpRequest::requestFinished() {
    if (!mOutcomeReported.exchange(true)) {
        performOnDelegate(didFinishSelector());
    }
}

void HttpRequest::performOnDelegate(const QByteArray &name) {
    QObject *target = delegate();
    if (name.isEmpty() || !target || isCancelled()) {
        return;
    }
    const QByteArray signature = QMetaObject::normalizedSignature(name + "(HttpRequest*)");
    const int index = target->metaObject()->indexOfMethod(signature.constData());
    if (index < 0) {
        return;  // the delegate does not answer to it
    }
    const QMetaMethod method = target->metaObject()->method(index);
    if (QThread::currentThread() == QCoreApplication::instance()->thread()) {
        method.invoke(target, Qt::DirectConnection, Q_ARG(HttpRequest *, this));
        return;
    }
    // Handed over under progressLock, as progress is: outcomes and progress leave the worker
    // threads one at a time. Requests that end together would otherwise also look like a race
    // to ThreadSanitizer, which cannot see Qt's own lock on the main thread's event queue.
    std::lock_guard progress(progressLock());
    method.invoke(target, Qt::QueuedConnection, Q_ARG(HttpRequest *, this));
}

void HttpRequest::recordAuthenticationFailure() {
    {
        std::lock_guard lock(mFieldLock);
        if (!mError) {
            mError = HttpError::AuthenticationError;  // recorded without a callback
        }
    }
    mComplete.store(true);
}

void HttpRequest::attemptToApplyCredentialsAndResume() {
    if (!mRequestAuthentication) {
        const std::shared_ptr<ReadStream> stream = readStream();
        const HttpResponseHeader header = stream ? stream->responseHeader() : HttpResponseHeader();
        mRequestAuthentication = HttpAuthentication::createFromResponse(header);
        if (!mRequestAuthentication) {
            failWithError(HttpError::make(
                HttpError::AuthenticationObject,
                QStringLiteral("Failed to get authentication object from response headers")));
            return;
        }
    }
    int errorCode = 0;
    if (!mRequestAuthentication->isValid(&errorCode)) {
        mRequestAuthentication.reset();
        if (errorCode == HttpAuthentication::kRejectedUserName ||
            errorCode == HttpAuthentication::kRejectedPassword) {
            {
                std::lock_guard lock(mFieldLock);
                mRequestCredentials.reset();
                mLastActivityTime.reset();
            }
            if (answersTo(delegate(), "authorizationNeededForRequest(HttpRequest*)")) {
                askDelegateAndResume();
                return;
            }
        }
        recordAuthenticationFailure();
        return;
    }
    cancelLoad();
    const auto retry = [this](const HttpCredentials &credentials) {
        if (applyCredentials(credentials)) {
            loadRequest();
        } else {
            failWithError(
                HttpError::make(HttpError::AuthenticationObject,
                                QStringLiteral("Failed to apply credentials to request")));
        }
    };
    if (const std::optional<HttpCredentials> applied = requestCredentials()) {
        retry(*applied);
        return;
    }
    if (!mRequestAuthentication->requiresUserNameAndPassword()) {
        return;  // nothing more to send: the wait loop ends the request
    }
    if (const std::optional<HttpCredentials> found = findCredentials()) {
        retry(*found);
        return;
    }
    if (answersTo(delegate(), "authorizationNeededForRequest(HttpRequest*)")) {
        askDelegateAndResume();
        return;
    }
    recordAuthenticationFailure();
}

void HttpRequest::askDelegateAndResume() {
    // Asked once per attempt: an answer without both a user name and a password ends the
    // request, instead of asking again and again on the same challenge.
    if (mDelegateAskedThisAttempt) {
        failWithError(HttpError::AuthenticationError);
        return;
    }
    mDelegateAskedThisAttempt = true;
    if (askDelegateForCredentials()) {
        attemptToApplyCredentialsAndResume();
    }
}

bool HttpRequest::askDelegateForCredentials() {
    const auto handOff = std::make_shared<ConditionLock>(1);  // a fresh hand-off for each ask
    guard(mAuthenticationLock, handOff);
    performOnDelegate(QByteArrayLiteral("authorizationNeededForRequest"));
    // The wait ends with the delegate's answer, and also with a cancellation or the time-out,
    // so that a delegate that never answers cannot hold the request for ever.
    const Clock::time_point start = Clock::now();
    while (!handOff->lockWhenCondition(2, std::chrono::milliseconds(250))) {
        if (isCancelled() || error()) {
            mComplete.store(true);
            return false;
        }
        const double timeOut = timeOutSeconds();
        if (timeOut > 0 && std::chrono::duration<double>(Clock::now() - start).count() > timeOut) {
            failWithError(HttpError::RequestTimedOutError);
            return false;
        }
    }
    handOff->unlock();
    if (mAuthenticationDeclined.exchange(false)) {
        failWithError(HttpError::AuthenticationError);
        return false;
    }
    return true;
}

void HttpRequest::cancelAuthentication() {
    mAuthenticationDeclined.store(true);
    retryWithAuthentication();
}

void HttpRequest::retryWithAuthentication() {
    // Never waits: called on the main thread, where nothing may block; a hand-off that is not
    // waiting for an answer (answered already, or never asked) ignores it.
    const std::shared_ptr<ConditionLock> handOff = guarded(mAuthenticationLock);
    if (handOff && handOff->lockWhenCondition(1, std::chrono::milliseconds(0))) {
        handOff->unlockWithCondition(2);
    }
}

std::optional<HttpCredentials> HttpRequest::findCredentials() {
    HttpCredentials credentials;
    if (mRequestAuthentication->requiresAccountDomain()) {
        credentials.domain = domain();
    }
    {
        std::lock_guard lock(mFieldLock);
        mAuthenticationRealm = mRequestAuthentication->requiresAccountDomain()
                                   ? QString()
                                   : mRequestAuthentication->realm();
    }
    // The URL's own user and password win, then the request's, then the permanent store.
    QString user = mUrl.userName();
    QString pass = mUrl.password();
    if (user.isEmpty() || pass.isEmpty()) {
        user.clear();
        pass.clear();
        if (!username().isEmpty() && !password().isEmpty()) {
            user = username();
            pass = password();
        } else if (mUseKeychainPersistence) {
            if (const auto saved = savedCredentials(mUrl.host(), effectivePort(mUrl), mUrl.scheme(),
                                                    authenticationRealm())) {
                user = saved->user;
                pass = saved->password;
            }
        }
    }
    if (user.isEmpty() || pass.isEmpty()) {
        return std::nullopt;
    }
    credentials.username = user;
    credentials.password = pass;
    return credentials;
}

bool HttpRequest::applyCredentials(const HttpCredentials &credentials) {
    if (!mRequestAuthentication || !mRequest ||
        !mRequestAuthentication->applyCredentials(*mRequest, credentials)) {
        return false;
    }
    if (mUseKeychainPersistence) {
        saveCredentialsToKeychain(credentials);
    }
    if (mUseSessionPersistence) {
        // Challenge and credentials in one step: another request never sees one without the
        // other.
        std::lock_guard lock(sessionLock);
        theSessionAuthentication = mRequestAuthentication;
        theSessionCredentials = credentials;
        theSessionOrigin = originOf(mUrl);
    }
    guard(mRequestCredentials, std::optional<HttpCredentials>(credentials));
    return true;
}

void HttpRequest::saveCredentialsToKeychain(const HttpCredentials &credentials) {
    if (credentials.username.isEmpty()) {
        return;
    }
    // Saved and looked up under the same effective port, so that a saved credential is found.
    saveCredentials({credentials.username, credentials.password}, mUrl.host(), effectivePort(mUrl),
                    mUrl.scheme(), authenticationRealm());
}

void HttpRequest::cancel() {
    if (mOutcomeReported.load()) {
        return;  // it has ended: its outcome and data stay
    }
    failWithError(HttpError::RequestCancelledError);
    cancelLoad();
    mComplete.store(true);
    Operation::cancel();
}

void HttpRequest::closeReadStream() {
    if (mReadStream) {
        mReadStream->close();
        mReadStream->setClient(0, {});
        mReadStream->unscheduleFromRunLoop(RunLoop::current(), HttpRequestRunMode);
        mReadStream.reset();
    }
}

void HttpRequest::cancelLoad() {
    std::lock_guard cancelled(mCancelledLock);
    closeReadStream();
    std::lock_guard lock(mFieldLock);
    if (mReceivedData) {
        mReceivedData.reset();
    } else if (mOutputStream) {
        // Only a file this request opened (and so emptied) goes: one it never got to write,
        // or could not open, is the user's and stays as it was.
        const bool opened = mOutputStream->isOpen();
        mOutputStream->close();
        if (opened) {
            QFile::remove(mDownloadDestinationPath);
        }
        mOutputStream.reset();
    }
    mResponseHeaders.reset();
}
