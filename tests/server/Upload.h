#pragma once

#include "http/HttpRequest.h"
#include "http/NetworkQueue.h"
#include "support/EventLoop.h"

#include <QObject>

#include <atomic>
#include <memory>

// The answer to one request sent through the application's own HTTP client.
struct Answer {
    int status = 0;  // 0: no answer (the request failed)
    QByteArray body;
};

// Runs requests on a NetworkQueue, as the sharing panel and --upload do, and waits for each.
class Upload : public QObject {
    Q_OBJECT
public:
    Answer send(const std::shared_ptr<HttpRequest> &request) {
        mDone = false;
        NetworkQueue queue;
        queue.setDelegate(this);
        queue.setRequestDidFinishSelector("finished");
        queue.setRequestDidFailSelector("finished");
        queue.addOperation(request);
        queue.go();
        pumpUntil([this] { return mDone.load(); }, 30000);
        queue.setDelegate(nullptr);
        return {request->responseStatusCode(), request->receivedData().value_or(QByteArray())};
    }

public slots:
    void finished(HttpRequest *) { mDone = true; }

private:
    std::atomic<bool> mDone{false};
};
