#pragma once

#include "http/CredentialStore.h"
#include "http/HttpAuthentication.h"
#include "http/HttpError.h"
#include "http/transport/HttpMessage.h"
#include "platform/ConditionLock.h"
#include "platform/Operation.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QNetworkCookie>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

class ReadStream;
class RunLoop;

// One HTTP/1.1 exchange as an operation. main() builds the request message from URL, method,
// header fields, cookies and body, opens a read stream on the calling thread's run loop and
// pumps that loop in quarter-second slices, watching for a time-out and for cancellation,
// until the response has ended. The outcome goes to the delegate on the main thread: the
// method named by didFinishSelector or didFailSelector (by default requestFinished(HttpRequest*)
// and requestFailed(HttpRequest*); slots or Q_INVOKABLE), each only if the delegate has it.
//
// Threads: main() runs on one thread from start to end; cancel() and the accessors may be
// called from any thread. cancelledLock serialises stream set-up and tear-down; progressLock
// (class-wide, recursive) serialises completion and progress delivery.
class HttpRequest : public QObject, public Operation {
    Q_OBJECT
public:
    using Error = std::shared_ptr<const HttpError>;
    using Clock = std::chrono::steady_clock;

    static const QString HttpRequestRunMode;  // "HttpRequest"
    static std::recursive_mutex &progressLock();

    // The session cookies: those of the first response read with cookie persistence on; none
    // before. Replacing the list removes the cookies of the old one from the shared storage.
    static std::optional<QList<QNetworkCookie>> sessionCookies();
    static void setSessionCookies(const std::optional<QList<QNetworkCookie>> &cookies);
    // The credentials last applied with session persistence, and the challenge they answered;
    // applied in advance only to requests for the same scheme, host and port.
    static std::optional<HttpCredentials> sessionCredentials();
    static void setSessionCredentials(const std::optional<HttpCredentials> &credentials,
                                      const QUrl &origin = {});
    static std::shared_ptr<HttpAuthentication> sessionAuthentication();
    static void setSessionAuthentication(const std::shared_ptr<HttpAuthentication> &authentication);
    // Forgets the session values: challenge, credentials and cookies.
    static void clearSession();

    // The permanent credential store, by protection space; the port is the URL's effective
    // port (its own, else the scheme's default).
    static void saveCredentials(const CredentialStore::Credential &credential, const QString &host,
                                int port, const QString &protocol, const QString &realm);
    static std::optional<CredentialStore::Credential> savedCredentials(const QString &host,
                                                                       int port,
                                                                       const QString &protocol,
                                                                       const QString &realm);
    static void removeCredentials(const QString &host, int port, const QString &protocol,
                                  const QString &realm);

    // initWithURL: an invalid URL (text that does not parse) is kept and fails in main().
    explicit HttpRequest(const QUrl &url, QObject *parent = nullptr);
    ~HttpRequest() override;

    QUrl url() const { return mUrl; }
    QObject *delegate() const;
    void setDelegate(QObject *delegate);
    QByteArray didFinishSelector() const;
    void setDidFinishSelector(const QByteArray &name);
    QByteArray didFailSelector() const;
    void setDidFailSelector(const QByteArray &name);

    QByteArray requestMethod() const;
    void setRequestMethod(const QByteArray &method);
    // Replaces an earlier value under the same name.
    void addRequestHeader(const QByteArray &name, const QByteArray &value);
    std::optional<QMap<QByteArray, QByteArray>> requestHeaders() const;
    // Keeps the body, sets Content-Length (also "0" for none) and turns the method into POST
    // for a non-empty body unless it is POST or PUT.
    void setPostBody(const std::optional<QByteArray> &body);
    std::optional<QByteArray> postBody() const;
    virtual void buildPostBody();

    QList<QNetworkCookie> requestCookies() const;
    void setRequestCookies(const QList<QNetworkCookie> &cookies);
    std::optional<QList<QNetworkCookie>> responseCookies() const;
    bool useCookiePersistence() const { return mUseCookiePersistence; }
    void setUseCookiePersistence(bool use) { mUseCookiePersistence = use; }
    bool useKeychainPersistence() const { return mUseKeychainPersistence; }
    void setUseKeychainPersistence(bool use) { mUseKeychainPersistence = use; }
    bool useSessionPersistence() const { return mUseSessionPersistence; }
    void setUseSessionPersistence(bool use) { mUseSessionPersistence = use; }

    // Credentials given by the caller, and what was applied and asked for (credentials hand-off).
    QString username() const;
    void setUsername(const QString &username);
    QString password() const;
    void setPassword(const QString &password);
    QString domain() const;
    void setDomain(const QString &domain);
    std::optional<HttpCredentials> requestCredentials() const;
    QString authenticationRealm() const;

    QString downloadDestinationPath() const;
    // The most a body kept in memory may hold; a larger answer ends the request with a
    // connection failure (code 1). 0, the default: no limit.
    void setMaxResponseBodySize(quint64 bytes) { mMaxResponseBodySize.store(bytes); }
    void setDownloadDestinationPath(const QString &path);
    double timeOutSeconds() const { return mTimeOutSeconds.load(); }
    // 0 or less: no time-out.
    void setTimeOutSeconds(double seconds) { mTimeOutSeconds.store(seconds); }

    bool complete() const { return mComplete.load(); }
    Error error() const;
    int responseStatusCode() const { return mResponseStatusCode.load(); }
    std::optional<QMap<QString, QString>> responseHeaders() const;
    std::optional<QByteArray> receivedData() const;
    // The body as UTF-8 text; none without a body or for bytes that are not valid UTF-8.
    std::optional<QString> dataString() const;
    quint64 contentLength() const { return mContentLength.load(); }
    void setContentLength(quint64 length) { mContentLength.store(length); }
    quint64 postLength() const { return mPostLength.load(); }
    quint64 totalBytesRead() const { return mTotalBytesRead.load(); }
    quint64 lastBytesRead() const { return mLastBytesRead.load(); }
    quint64 lastBytesSent() const { return mLastBytesSent.load(); }
    std::optional<Clock::time_point> lastActivityTime() const;
    // A size probe's request, while it lives: a cancel-all may let go of it before the probe.
    std::shared_ptr<HttpRequest> mainRequest() const { return mMainRequest.lock(); }
    void setMainRequest(const std::shared_ptr<HttpRequest> &request) {
        mMainRequest = request;
        mIsSizeProbe = true;
    }
    bool showAccurateProgress() const { return mShowAccurateProgress; }
    void setShowAccurateProgress(bool show) { mShowAccurateProgress = show; }
    bool shouldResetProgressIndicators() const { return mShouldResetProgressIndicators; }
    void setShouldResetProgressIndicators(bool reset) { mShouldResetProgressIndicators = reset; }
    // Progress receivers (not owned): an aggregator (answers to incrementUploadProgressBy(quint64)
    // and its kin, as NetworkQueue does) or an indicator (setProgress(float), else
    // setDoubleValue(double); optionally setMaxValue(double), called with 1.0 on attaching).
    QObject *uploadProgressDelegate() const;
    void setUploadProgressDelegate(QObject *delegate);
    QObject *downloadProgressDelegate() const;
    void setDownloadProgressDelegate(QObject *delegate);
    bool updatedProgress() const { return mUpdatedProgress; }

    // Shows a fraction on an indicator, on the main thread, under progressLock.
    static void setProgressForProgressIndicator(double progress, QObject *indicator);
    // The same for an indicator that may go away on the main thread meanwhile: off the main
    // thread it is not touched here; the main thread sets it, if it is still there then.
    static void setProgressForProgressIndicator(double progress,
                                                const QPointer<QObject> &indicator);
    // True when `receiver` has the invokable method `signature` ("name(type)").
    static bool answersTo(QObject *receiver, const QByteArray &signature);
    // A receiver being attached: one that answers to setMaxValue(double) gets 1.0, at once.
    static void attachProgressReceiver(QObject *receiver);
    bool haveBuiltPostBody() const { return mHaveBuiltPostBody; }

    // Called (any thread) by a delegate that was asked for credentials and has set them.
    void retryWithAuthentication();
    // Called (any thread) when no credentials will come: the request ends at once with
    // "Authentication needed" (code 3) instead of waiting out its time-out.
    void cancelAuthentication();

    // Operation.
    void main() override;
    void cancel() override;
    bool isFinished() const override { return complete(); }

protected:
    virtual void loadRequest();
    virtual void cancelLoad();
    virtual void handleNetworkEvent(int type);
    virtual void handleBytesAvailable();
    virtual void handleStreamComplete();
    virtual void handleStreamError();
    virtual bool readResponseHeadersReturningAuthenticationFailure();
    virtual void failWithError(const Error &error);
    virtual void requestFinished();

    // Progress: called on every pass of the wait loop and at completion.
    virtual void updateProgressIndicators();
    virtual void updateUploadProgress();
    virtual void updateDownloadProgress();
    virtual void removeUploadProgressSoFar();
    virtual void resetUploadProgress(quint64 size);
    virtual void resetDownloadProgress(quint64 size);
    // Credentials: answers a 401 (inside the stream event that saw it).
    virtual void attemptToApplyCredentialsAndResume();
    virtual std::optional<HttpCredentials> findCredentials();
    virtual bool applyCredentials(const HttpCredentials &credentials);
    virtual void saveCredentialsToKeychain(const HttpCredentials &credentials);
    // Asks the delegate on the main thread and waits for retryWithAuthentication, or for a
    // cancellation or the time-out, whichever comes first. True when the delegate answered.
    bool askDelegateForCredentials();
    // Ends the request with an error when the download file cannot be written.
    void failToWriteDownload(const QString &reason);
    // Asks the delegate, once per attempt, and goes on with its answer.
    void askDelegateAndResume();
    // Records code 3 without a callback and ends the request.
    void recordAuthenticationFailure();

    // Hands `done` units (of `total`; `last` at the previous report) to a progress receiver.
    // A progress receiver as the worker sees it: an aggregator (a queue, alive while its requests
    // run) is called at once; an indicator only through the main thread.
    struct ProgressReceiver {
        QPointer<QObject> object;
        bool aggregates = false;
    };
    ProgressReceiver uploadReceiver() const;
    ProgressReceiver downloadReceiver() const;
    void reportProgress(const ProgressReceiver &receiver, const char *increment, quint64 done,
                        quint64 last, quint64 total);
    // Tells a receiver the units to expect (an aggregator), or shows 0 (an indicator).
    void announceSize(const ProgressReceiver &receiver, const char *incrementSize, quint64 size);
    // Calls the delegate's method `name`(HttpRequest*) on the main thread, if it has one.
    void performOnDelegate(const QByteArray &name);

    std::optional<HttpMessage> mRequest;      // the request message, made in main()
    std::shared_ptr<ReadStream> mReadStream;  // the stream of the current attempt
    mutable std::mutex mCancelledLock;
    // Hand-off with the delegate while credentials are asked for; a new one (condition 1) for
    // every attempt.
    std::shared_ptr<ConditionLock> mAuthenticationLock;
    bool mDelegateAskedThisAttempt = false;  // worker thread only
    std::atomic<bool> mAuthenticationDeclined{false};  // by cancelAuthentication
    std::atomic<quint64> mMaxResponseBodySize{0};

private:
    // The current attempt's stream, held for the caller (none once cancelled).
    std::shared_ptr<ReadStream> readStream() const;
    // Closes, detaches and lets go of the read stream, if any; with mCancelledLock held.
    void closeReadStream();
    // Whole reads and writes of the object fields below.
    template <typename T>
    T guarded(const T &field) const {
        std::lock_guard lock(mFieldLock);
        return field;
    }
    template <typename T>
    void guard(T &field, const T &value) {
        std::lock_guard lock(mFieldLock);
        field = value;
    }

    const QUrl mUrl;
    mutable std::recursive_mutex mFieldLock;  // the object fields below
    QPointer<QObject> mDelegate;
    QByteArray mDidFinishSelector = QByteArrayLiteral("requestFinished");
    QByteArray mDidFailSelector = QByteArrayLiteral("requestFailed");
    QByteArray mRequestMethod = QByteArrayLiteral("GET");
    std::optional<QByteArray> mPostBody;
    std::optional<QMap<QByteArray, QByteArray>> mRequestHeaders;
    std::optional<QMap<QString, QString>> mResponseHeaders;
    QList<QNetworkCookie> mRequestCookies;
    std::optional<QList<QNetworkCookie>> mResponseCookies;
    QString mDownloadDestinationPath;
    QString mUsername, mPassword, mDomain;
    std::optional<HttpCredentials> mRequestCredentials;
    std::shared_ptr<HttpAuthentication> mRequestAuthentication;
    QString mAuthenticationRealm;
    std::unique_ptr<QFile> mOutputStream;  // the download file, opened at the first bytes
    std::optional<QByteArray> mReceivedData;
    Error mError;
    std::optional<Clock::time_point> mLastActivityTime;
    QPointer<QObject> mUploadProgressDelegate;
    QPointer<QObject> mDownloadProgressDelegate;
    bool mUploadAggregates = false;  // the upload receiver counts bytes (answered when set)
    bool mDownloadAggregates = false;
    std::weak_ptr<HttpRequest> mMainRequest;  // the request a size probe is made for
    bool mIsSizeProbe = false;
    RunLoop *mRunLoop = nullptr;  // the loop of the running attempt, for prompt wake-ups

    std::atomic<bool> mComplete{false};
    std::atomic<bool> mOutcomeReported{false};  // finished or failed: the one outcome is told
    std::atomic<int> mResponseStatusCode{0};
    std::atomic<quint64> mContentLength{0};
    std::atomic<quint64> mPostLength{0};
    std::atomic<quint64> mTotalBytesRead{0};
    std::atomic<quint64> mLastBytesRead{0};
    std::atomic<quint64> mLastBytesSent{0};
    std::atomic<double> mTimeOutSeconds{10.0};
    bool mUseCookiePersistence = true;
    bool mUseKeychainPersistence = false;
    bool mUseSessionPersistence = true;
    bool mShowAccurateProgress = true;
    bool mShouldResetProgressIndicators = true;
    bool mHaveBuiltPostBody = false;
    quint64 mActivityBytes = 0;  // bytes sent + received at the last activity check
    std::atomic<bool> mUpdatedProgress{false};
};
