#pragma once

#include "http/HttpRequest.h"
#include "platform/OperationQueue.h"

#include <QObject>
#include <QPointer>

#include <mutex>
#include <set>

// A queue of HTTP requests: at most four at once, held until go(). It becomes the delegate of
// every request it takes, counts the requests outstanding, forwards each success or failure
// to its own delegate (requestDidFinishSelector, requestDidFailSelector: methods taking the
// request; queueDidFinishSelector: a method taking the queue), by default cancels the rest
// when one fails, and merges the requests' progress onto one upload and one download
// indicator. Requests are kept alive until their outcome has been forwarded.
//
// Threads: add, go and cancel on the main thread; the aggregator operations come from the
// requests' worker threads (counters under a lock of their own).
class NetworkQueue : public QObject, public OperationQueue {
    Q_OBJECT
public:
    explicit NetworkQueue(QObject *parent = nullptr);  // init: four at once, suspended
    ~NetworkQueue() override;

    QObject *delegate() const { return mDelegate; }
    void setDelegate(QObject *delegate) { mDelegate = delegate; }
    void setRequestDidFinishSelector(const QByteArray &name) { mRequestDidFinishSelector = name; }
    void setRequestDidFailSelector(const QByteArray &name) { mRequestDidFailSelector = name; }
    void setQueueDidFinishSelector(const QByteArray &name) { mQueueDidFinishSelector = name; }
    const QByteArray &requestDidFinishSelector() const { return mRequestDidFinishSelector; }
    const QByteArray &requestDidFailSelector() const { return mRequestDidFailSelector; }
    const QByteArray &queueDidFinishSelector() const { return mQueueDidFinishSelector; }
    bool shouldCancelAllRequestsOnFailure() const { return mShouldCancelAllRequestsOnFailure; }
    void setShouldCancelAllRequestsOnFailure(bool cancel) {
        mShouldCancelAllRequestsOnFailure = cancel;
    }
    bool showAccurateProgress() const { return mShowAccurateProgress; }
    void setShowAccurateProgress(bool accurate) { mShowAccurateProgress = accurate; }
    QObject *uploadProgressDelegate() const { return mUploadProgressDelegate; }
    void setUploadProgressDelegate(QObject *indicator);
    QObject *downloadProgressDelegate() const { return mDownloadProgressDelegate; }
    void setDownloadProgressDelegate(QObject *indicator);

    // Only requests are taken; anything else is ignored.
    void addOperation(const std::shared_ptr<Operation> &operation);
    void addHEADOperation(const std::shared_ptr<Operation> &operation);
    void go();
    void cancelAllOperations() override;

    int requestsCount() const;
    quint64 uploadProgressBytes() const;
    quint64 uploadProgressTotalBytes() const;
    quint64 downloadProgressBytes() const;
    quint64 downloadProgressTotalBytes() const;

public slots:
    void requestDidFinish(HttpRequest *request);
    void requestDidFail(HttpRequest *request);
    void authorizationNeededForRequest(HttpRequest *request);

    // Aggregator operations (from the requests' threads).
    void incrementUploadProgressBy(quint64 bytes);
    void decrementUploadProgressBy(quint64 bytes);
    void incrementUploadSizeBy(quint64 bytes);
    void incrementDownloadProgressBy(quint64 bytes);
    void incrementDownloadSizeBy(quint64 bytes);

private:
    void forward(const QByteArray &name, QObject *argument, const char *type);
    // Ends the queue's hold on a request whose outcome has been forwarded.
    void release(HttpRequest *request);
    void releaseLater(HttpRequest *request);

    QPointer<QObject> mDelegate;
    QByteArray mRequestDidFinishSelector;
    QByteArray mRequestDidFailSelector;
    QByteArray mQueueDidFinishSelector;
    QPointer<QObject> mUploadProgressDelegate;
    QPointer<QObject> mDownloadProgressDelegate;
    bool mShouldCancelAllRequestsOnFailure = true;
    bool mShowAccurateProgress = false;

    mutable std::mutex mCounterLock;  // the counters and the sets below
    quint64 mUploadProgressBytes = 0;
    quint64 mUploadProgressTotalBytes = 0;
    quint64 mDownloadProgressBytes = 0;
    quint64 mDownloadProgressTotalBytes = 0;
    int mRequestsCount = 0;
    std::set<HttpRequest *> mCounted;  // outstanding requests whose end lowers the count
    std::vector<std::shared_ptr<HttpRequest>> mHeld;  // kept until their outcome is forwarded
};
