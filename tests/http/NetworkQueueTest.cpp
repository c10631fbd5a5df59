#include "http/NetworkQueue.h"
#include "support/EventLoop.h"
#include "support/NginxServer.h"
#include "support/Printers.h"
#include "support/ScriptedHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

namespace {

using Server = ScriptedHttpServer;

// The queue's delegate and a progress indicator in one: it notes what arrives, in order.
class Recorder : public QObject {
    Q_OBJECT
public:
    QStringList events;
    QList<float> progress;
    QList<double> maxValues;
public slots:
    void requestComplete(HttpRequest *request) {
        events << QStringLiteral("finished %1").arg(request->url().port());
    }
    void requestFailed(HttpRequest *request) {
        events << QStringLiteral("failed %1 code %2")
                      .arg(request->url().port())
                      .arg(request->error()->code);
    }
    void queueFinished(NetworkQueue *) { events << QStringLiteral("queue finished"); }
    void setProgress(float value) { progress << value; }
    void setMaxValue(double value) { maxValues << value; }
};

class NetworkQueueTest : public ::testing::Test {
protected:
    NetworkQueueTest() {
        queue.setDelegate(&recorder);
        queue.setRequestDidFinishSelector("requestComplete");
        queue.setRequestDidFailSelector("requestFailed");
        queue.setQueueDidFinishSelector("queueFinished");
    }
    std::shared_ptr<HttpRequest> request(const Server &server) {
        return std::make_shared<HttpRequest>(QUrl(server.url()));
    }
    Recorder recorder;
    NetworkQueue queue;
};

TEST_F(NetworkQueueTest, StartsSuspendedWithFourAtOnce) {
    EXPECT_TRUE(queue.isSuspended());
    EXPECT_EQ(queue.maxConcurrentOperationCount(), 4);
    queue.addOperation(std::shared_ptr<Operation>());  // not a request: ignored
    EXPECT_EQ(queue.requestsCount(), 0);
    EXPECT_EQ(queue.operationCount(), 0);
}

TEST_F(NetworkQueueTest, ForwardsEveryOutcomeAndThenThatTheQueueIsDone) {
    Server a({Server::write(Server::response(200, "ok"))}),
        b({Server::hold(), Server::write(Server::response(200, "ok"))});
    queue.addOperation(request(a));
    queue.addOperation(request(b));
    EXPECT_EQ(queue.requestsCount(), 2);
    queue.go();
    pumpUntil([&] { return !recorder.events.isEmpty(); });
    b.release();  // b answers once a's outcome is in
    pumpUntil([&] { return recorder.events.size() == 3; });
    EXPECT_EQ(recorder.events,
              QStringList({QStringLiteral("finished %1").arg(a.port()),
                           QStringLiteral("finished %1").arg(b.port()), "queue finished"}));
    EXPECT_EQ(queue.requestsCount(), 0);
}

TEST_F(NetworkQueueTest, FinishesArrivingAfterACancelAllDoNotSayTheQueueIsDoneAgain) {
    EXPECT_EQ(queue.requestDidFinishSelector(), "requestComplete");
    EXPECT_EQ(queue.requestDidFailSelector(), "requestFailed");
    EXPECT_EQ(queue.queueDidFinishSelector(), "queueFinished");
    Server a({Server::write(Server::response(200, "ok"))}),
        b({Server::write(Server::response(200, "ok"))});
    const auto first = request(a), second = request(b);
    queue.addOperation(first);
    queue.addOperation(second);
    queue.go();
    // Both exchanges end on their workers; their outcomes wait for this thread.
    QElapsedTimer timer;
    timer.start();
    while (!(first->isFinished() && second->isFinished()) && timer.elapsed() < 30000) {
        QThread::msleep(5);
    }
    ASSERT_TRUE(first->isFinished() && second->isFinished());
    queue.cancelAllOperations();
    pumpUntil([&] { return recorder.events.size() >= 2; });
    pumpUntil([] { return false; }, 100);
    EXPECT_EQ(recorder.events.count("queue finished"), 0)
        << recorder.events.join(", ").toStdString();
}

TEST_F(NetworkQueueTest, AFailureCancelsTheOthersWhichAreForwardedAsCancelled) {
    Server failing({Server::reset()}),
        slow({Server::pause(30000), Server::write(Server::response(200, "ok"))});
    auto slowRequest = request(slow);
    queue.addOperation(request(failing));
    queue.addOperation(slowRequest);
    queue.go();
    pumpUntil([&] { return recorder.events.size() == 2; });
    ASSERT_EQ(recorder.events.size(), 2);
    EXPECT_EQ(recorder.events[0], QStringLiteral("failed %1 code 1").arg(failing.port()));
    EXPECT_EQ(recorder.events[1], QStringLiteral("failed %1 code 4").arg(slow.port()));
    pumpUntil([&] { return false; }, 100);
    EXPECT_FALSE(recorder.events.contains("queue finished"));
    EXPECT_EQ(queue.requestsCount(), 0);  // never below zero after the cancellation
    EXPECT_EQ(slowRequest->error()->localizedDescription, "The request was cancelled");
}

TEST_F(NetworkQueueTest, ALoneFailureCancelsNothing) {
    Server failing({Server::reset()});
    queue.addOperation(request(failing));
    queue.go();
    pumpUntil([&] { return !recorder.events.isEmpty(); });
    pumpUntil([&] { return false; }, 100);
    EXPECT_EQ(recorder.events, QStringList{QStringLiteral("failed %1 code 1").arg(failing.port())});
}

TEST_F(NetworkQueueTest, WholeRequestsCountOnAnIndicator) {
    queue.setDownloadProgressDelegate(&recorder);
    EXPECT_EQ(recorder.maxValues, QList<double>{1.0});
    Server a({Server::write(Server::response(200, "ok"))}),
        b({Server::pause(150), Server::write(Server::response(200, "ok"))}),
        c({Server::pause(300), Server::write(Server::response(200, "ok"))});
    queue.setMaxConcurrentOperationCount(1);  // one after the other
    for (const Server *server : {&a, &b, &c}) {
        queue.addOperation(request(*server));
    }
    queue.go();
    pumpUntil([&] {
        return recorder.events.contains("queue finished") && recorder.progress.size() >= 4;
    });
    ASSERT_EQ(recorder.progress.size(), 4);
    EXPECT_EQ(recorder.progress[0], 0.0f);  // shown when the total is set at go
    EXPECT_FLOAT_EQ(recorder.progress[1], 1.0f / 3);
    EXPECT_FLOAT_EQ(recorder.progress[2], 2.0f / 3);
    EXPECT_FLOAT_EQ(recorder.progress[3], 1.0f);
}

TEST_F(NetworkQueueTest, AccurateProgressLearnsTheSizeFromAHeadRequestFirst) {
    if (!NginxServer::available()) {
        GTEST_SKIP() << "nginx is not installed";
    }
    NginxServer nginx;
    QFile file(nginx.wwwPath("data.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(300000, 'x'));
    file.close();
    ASSERT_TRUE(nginx.start());
    queue.setShowAccurateProgress(true);
    queue.setDownloadProgressDelegate(&recorder);
    auto get = std::make_shared<HttpRequest>(nginx.url("/data.bin"));
    queue.addOperation(get);
    EXPECT_EQ(queue.operationCount(), 2);  // the GET and its size probe
    queue.go();
    pumpUntil([&] { return recorder.events.contains("queue finished"); });
    EXPECT_EQ(get->contentLength(), 300000u);
    EXPECT_EQ(queue.downloadProgressTotalBytes(), 300000u);
    EXPECT_EQ(queue.downloadProgressBytes(), 300000u);
    ASSERT_FALSE(recorder.progress.isEmpty());
    EXPECT_FLOAT_EQ(recorder.progress.last(), 1.0f);
    EXPECT_EQ(recorder.events.size(), 2);  // the probe is neither reported nor counted
}

// Upload progress reaches an indicator whether the request reports to it itself or a queue
// gathers it: from 0 at the start, never backwards, to 1 once the body is sent.
TEST_F(NetworkQueueTest, UploadProgressReachesAnIndicatorDirectlyOrThroughTheQueue) {
    const QByteArray body(4 * 1024 * 1024, 'u');
    const auto expectWholeJourney = [](const QList<float> &progress) {
        ASSERT_GE(progress.size(), 2);
        EXPECT_GE(progress.first(), 0.0f);
        EXPECT_LT(progress.first(), 1.0f);
        EXPECT_FLOAT_EQ(progress.last(), 1.0f);
        EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    };
    {
        Server slowReader({Server::write(Server::response(200, "ok"))}, 256 * 1024, 40);
        Recorder indicator;
        HttpRequest request(QUrl(slowReader.url("/upload")));
        request.setPostBody(body);
        request.setUploadProgressDelegate(&indicator);
        EXPECT_EQ(indicator.maxValues, QList<double>{1.0});
        std::thread worker([&request] { request.main(); });
        pumpUntil([&] { return request.isFinished(); });
        worker.join();
        pumpUntil([] { return false; }, 50);  // the last fraction, posted to this thread
        ASSERT_EQ(request.error(), nullptr);
        expectWholeJourney(indicator.progress);
        EXPECT_EQ(indicator.progress.first(), 0.0f);  // shown as the body starts
    }
    Server slowReader({Server::write(Server::response(200, "ok"))}, 256 * 1024, 40);
    Recorder indicator;
    queue.setShowAccurateProgress(true);
    queue.setUploadProgressDelegate(&indicator);
    auto request = std::make_shared<HttpRequest>(QUrl(slowReader.url("/upload")));
    request->setPostBody(body);
    queue.addOperation(request);
    queue.go();
    pumpUntil([&] { return recorder.events.contains("queue finished"); });
    pumpUntil([] { return false; }, 50);
    EXPECT_EQ(recorder.events, QStringList({QStringLiteral("finished %1").arg(slowReader.port()),
                                            "queue finished"}));
    EXPECT_EQ(queue.uploadProgressTotalBytes(), quint64(body.size()));
    EXPECT_EQ(queue.uploadProgressBytes(), quint64(body.size()));
    expectWholeJourney(indicator.progress);
}

// A queue that goes while a request is half-way through its body (its progress reported to
// the queue from the worker at every pass) and another waits its turn: the destruction returns
// once the running one has let go, the waiting one never goes out, each is said to be
// cancelled while the queue is still there, and nobody hears anything once it is gone.
TEST(NetworkQueueLifetime, AQueueDestroyedWithRequestsInFlightCallsNobodyBack) {
    Server running(
        {Server::write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(1000, 'x')),
         Server::pause(30000)});
    Server waiting({Server::write(Server::response(200, "ok"))});
    Recorder recorder;
    auto queue = std::make_unique<NetworkQueue>();
    queue->setDelegate(&recorder);
    queue->setRequestDidFinishSelector("requestComplete");
    queue->setRequestDidFailSelector("requestFailed");
    queue->setQueueDidFinishSelector("queueFinished");
    queue->setShowAccurateProgress(true);
    queue->setDownloadProgressDelegate(&recorder);
    queue->setMaxConcurrentOperationCount(1);
    std::shared_ptr<HttpRequest> requests[] = {std::make_shared<HttpRequest>(QUrl(running.url())),
                                               std::make_shared<HttpRequest>(QUrl(waiting.url()))};
    for (const auto &request : requests) {
        request->setRequestMethod("POST");  // no size probes ahead of them
        queue->addOperation(request);
    }
    queue->go();
    pumpUntil([&] { return requests[0]->totalBytesRead() >= 1000; });
    ASSERT_EQ(requests[0]->totalBytesRead(), 1000u);
    QElapsedTimer timer;
    timer.start();
    queue.reset();
    EXPECT_LT(timer.elapsed(), 15000);  // not the server's pause
    const QStringList cancelled = {QStringLiteral("failed %1 code 4").arg(running.port()),
                                   QStringLiteral("failed %1 code 4").arg(waiting.port())};
    EXPECT_EQ(recorder.events, cancelled);
    for (const auto &request : requests) {
        EXPECT_TRUE(request->isFinished());
        ASSERT_NE(request->error(), nullptr);
        EXPECT_EQ(request->error()->code, 4);
    }
    pumpUntil([] { return false; }, 200);  // whatever was posted meanwhile
    EXPECT_EQ(recorder.events, cancelled);
    EXPECT_TRUE(waiting.requests().isEmpty());
}

}  // namespace

#include "NetworkQueueTest.moc"
