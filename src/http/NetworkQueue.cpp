#include "http/NetworkQueue.h"

#include <QCoreApplication>
#include <QMetaMethod>

NetworkQueue::NetworkQueue(QObject *parent) : QObject(parent) {
    setMaxConcurrentOperationCount(4);
    setSuspended(true);
}

NetworkQueue::~NetworkQueue() {
    // Running requests report to this queue until they end: wait for them while its own
    // members still exist (the base class would wait only after they are gone).
    cancelAllOperations();
    waitUntilAllOperationsAreFinished();
}

void NetworkQueue::setUploadProgressDelegate(QObject *indicator) {
    mUploadProgressDelegate = indicator;
    HttpRequest::attachProgressReceiver(indicator);
}

void NetworkQueue::setDownloadProgressDelegate(QObject *indicator) {
    mDownloadProgressDelegate = indicator;
    HttpRequest::attachProgressReceiver(indicator);
}

void NetworkQueue::addOperation(const std::shared_ptr<Operation> &operation) {
    const auto request = std::dynamic_pointer_cast<HttpRequest>(operation);
    if (!request) {
        return;
    }
    {
        std::lock_guard lock(mCounterLock);
        ++mRequestsCount;
        mCounted.insert(request.get());
        mHeld.push_back(request);
    }
    if (mShowAccurateProgress) {
        if (request->requestMethod() == "GET") {
            // A HEAD request ahead of the GET learns the size to expect.
            auto probe = std::make_shared<HttpRequest>(request->url());
            probe->setMainRequest(request);
            addHEADOperation(probe);
            request->setShouldResetProgressIndicators(false);
            OperationQueue::addDependency(request, probe);
        } else if (mUploadProgressDelegate) {
            request->buildPostBody();
            std::lock_guard lock(mCounterLock);
            mUploadProgressTotalBytes += request->postLength();
        }
    }
    request->setShowAccurateProgress(mShowAccurateProgress);
    if (mUploadProgressDelegate) {
        request->setShouldResetProgressIndicators(false);
        request->setUploadProgressDelegate(this);
    } else {
        request->setUploadProgressDelegate(nullptr);
    }
    request->setDownloadProgressDelegate(mDownloadProgressDelegate ? this : nullptr);
    request->setDelegate(this);
    request->setDidFailSelector("requestDidFail");
    request->setDidFinishSelector("requestDidFinish");
    OperationQueue::addOperation(request);
}

void NetworkQueue::addHEADOperation(const std::shared_ptr<Operation> &operation) {
    const auto request = std::dynamic_pointer_cast<HttpRequest>(operation);
    if (!request) {
        return;
    }
    request->setRequestMethod("HEAD");
    request->setShowAccurateProgress(true);
    request->setUploadProgressDelegate(mUploadProgressDelegate ? this : nullptr);
    request->setDownloadProgressDelegate(mDownloadProgressDelegate ? this : nullptr);
    request->setDelegate(this);  // its default callbacks are not ours: its end is not reported
    OperationQueue::addOperation(request, 10);
}

void NetworkQueue::go() {
    if (!mShowAccurateProgress) {
        const int count = requestsCount();
        if (mDownloadProgressDelegate) {
            incrementDownloadSizeBy(quint64(count));
        }
        if (mUploadProgressDelegate) {
            incrementUploadSizeBy(quint64(count));
        }
    }
    setSuspended(false);
}

void NetworkQueue::cancelAllOperations() {
    {
        std::lock_guard lock(mCounterLock);
        mRequestsCount = 0;
        // The cancelled requests still report, but no longer count: the count stays at 0.
        mCounted.clear();
        mUploadProgressBytes = mUploadProgressTotalBytes = 0;
        mDownloadProgressBytes = mDownloadProgressTotalBytes = 0;
    }
    OperationQueue::cancelAllOperations();
}

int NetworkQueue::requestsCount() const {
    std::lock_guard lock(mCounterLock);
    return mRequestsCount;
}
quint64 NetworkQueue::uploadProgressBytes() const {
    std::lock_guard lock(mCounterLock);
    return mUploadProgressBytes;
}
quint64 NetworkQueue::uploadProgressTotalBytes() const {
    std::lock_guard lock(mCounterLock);
    return mUploadProgressTotalBytes;
}
quint64 NetworkQueue::downloadProgressBytes() const {
    std::lock_guard lock(mCounterLock);
    return mDownloadProgressBytes;
}
quint64 NetworkQueue::downloadProgressTotalBytes() const {
    std::lock_guard lock(mCounterLock);
    return mDownloadProgressTotalBytes;
}

void NetworkQueue::forward(const QByteArray &name, QObject *argument, const char *type) {
    if (name.isEmpty() || !mDelegate) {
        return;
    }
    const QByteArray signature = QMetaObject::normalizedSignature(name + "(" + type + ")");
    const int index = mDelegate->metaObject()->indexOfMethod(signature.constData());
    if (index < 0) {
        return;
    }
    const QMetaMethod method = mDelegate->metaObject()->method(index);
    if (qstrcmp(type, "HttpRequest*") == 0) {
        method.invoke(mDelegate, Qt::DirectConnection,
                      Q_ARG(HttpRequest *, static_cast<HttpRequest *>(argument)));
    } else {
        method.invoke(mDelegate, Qt::DirectConnection,
                      Q_ARG(NetworkQueue *, static_cast<NetworkQueue *>(argument)));
    }
}

void NetworkQueue::release(HttpRequest *request) {
    std::shared_ptr<HttpRequest> last;  // let go outside the lock
    std::lock_guard lock(mCounterLock);
    const auto it = std::find_if(mHeld.begin(), mHeld.end(),
                                 [request](const auto &held) { return held.get() == request; });
    if (it != mHeld.end()) {
        last = std::move(*it);
        mHeld.erase(it);
    }
}

void NetworkQueue::releaseLater(HttpRequest *request) {
    // After the call that brought the outcome has returned, which still uses the request. Posted
    // under the lock the requests hand their outcomes over with (see HttpRequest's
    // performOnDelegate).
    std::lock_guard handOff(HttpRequest::progressLock());
    QMetaObject::invokeMethod(
        this, [this, request] { release(request); }, Qt::QueuedConnection);
}

void NetworkQueue::requestDidFinish(HttpRequest *request) {
    bool lastOne = false;
    {
        std::lock_guard lock(mCounterLock);
        // Only the finish that brings the count to 0 ends the queue's work: the late finishes
        // of requests no longer counted (after a cancel-all) do not say it again.
        if (mCounted.erase(request)) {
            --mRequestsCount;
            lastOne = mRequestsCount == 0;
        }
    }
    forward(mRequestDidFinishSelector, request, "HttpRequest*");
    if (lastOne) {
        forward(mQueueDidFinishSelector, this, "NetworkQueue*");
    }
    releaseLater(request);
}

void NetworkQueue::requestDidFail(HttpRequest *request) {
    int count;
    {
        std::lock_guard lock(mCounterLock);
        if (mCounted.erase(request)) {
            --mRequestsCount;
        }
        count = mRequestsCount;
    }
    forward(mRequestDidFailSelector, request, "HttpRequest*");
    if (mShouldCancelAllRequestsOnFailure && count > 0) {
        cancelAllOperations();
    }
    releaseLater(request);
}

void NetworkQueue::authorizationNeededForRequest(HttpRequest *request) {
    // With nobody to ask, the request would wait for an answer until it timed out, and then
    // say so instead of what happened.
    if (!mDelegate ||
        !HttpRequest::answersTo(mDelegate, "authorizationNeededForRequest(HttpRequest*)")) {
        request->cancelAuthentication();
        return;
    }
    forward(QByteArrayLiteral("authorizationNeededForRequest"), request, "HttpRequest*");
}

void NetworkQueue::incrementUploadProgressBy(quint64 bytes) {
    double fraction;
    {
        std::lock_guard lock(mCounterLock);
        if (!mUploadProgressDelegate || mUploadProgressTotalBytes == 0) {
            return;
        }
        mUploadProgressBytes += bytes;
        fraction = double(mUploadProgressBytes) / double(mUploadProgressTotalBytes);
    }
    HttpRequest::setProgressForProgressIndicator(fraction, mUploadProgressDelegate);
}

void NetworkQueue::decrementUploadProgressBy(quint64 bytes) {
    double fraction;
    {
        std::lock_guard lock(mCounterLock);
        if (!mUploadProgressDelegate || mUploadProgressTotalBytes == 0) {
            return;
        }
        mUploadProgressBytes -= std::min(bytes, mUploadProgressBytes);
        fraction = double(mUploadProgressBytes) / double(mUploadProgressTotalBytes);
    }
    HttpRequest::setProgressForProgressIndicator(fraction, mUploadProgressDelegate);
}

void NetworkQueue::incrementUploadSizeBy(quint64 bytes) {
    {
        std::lock_guard lock(mCounterLock);
        if (!mUploadProgressDelegate) {
            return;
        }
        mUploadProgressTotalBytes += bytes;
    }
    incrementUploadProgressBy(0);
}

void NetworkQueue::incrementDownloadProgressBy(quint64 bytes) {
    double fraction;
    {
        std::lock_guard lock(mCounterLock);
        if (!mDownloadProgressDelegate || mDownloadProgressTotalBytes == 0) {
            return;
        }
        mDownloadProgressBytes += bytes;
        fraction = double(mDownloadProgressBytes) / double(mDownloadProgressTotalBytes);
    }
    HttpRequest::setProgressForProgressIndicator(fraction, mDownloadProgressDelegate);
}

void NetworkQueue::incrementDownloadSizeBy(quint64 bytes) {
    {
        std::lock_guard lock(mCounterLock);
        if (!mDownloadProgressDelegate) {
            return;
        }
        mDownloadProgressTotalBytes += bytes;
    }
    incrementDownloadProgressBy(0);
}
