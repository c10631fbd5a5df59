// Keep-alive connections outlive the request that opened them and serve the next requests to
// the same server, from any thread; never a request to another server, and never one the
// server has closed meanwhile.
#include "http/FormDataRequest.h"
#include "http/NetworkQueue.h"
#include "support/EventLoop.h"
#include "support/NginxServer.h"
#include "support/ScriptedHttpServer.h"

#include <QSet>

#include <gtest/gtest.h>

#include <thread>

namespace {

// "PORT SERIAL" from nginx's /connection, for one request run on a thread of its own.
QString answerOnNewThread(const QUrl &url) {
    HttpRequest request(url);
    std::thread worker([&request] { request.main(); });
    worker.join();
    EXPECT_FALSE(request.error()) << request.error()->localizedDescription.toStdString();
    return request.dataString().value_or(QString()).trimmed();
}

class Collector : public QObject {
    Q_OBJECT
public:
    QStringList answers;
    int failed = 0;
public slots:
    void requestDone(HttpRequest *request) {
        answers << request->dataString().value_or(QString()).trimmed();
    }
    void requestFailed(HttpRequest *) { ++failed; }
};

class ConnectionReuse : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NginxServer::available()) {
            GTEST_SKIP() << "nginx is not installed (scripts/setup installs it)";
        }
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
    }
    NginxServer server;
};

TEST_F(ConnectionReuse, SequentialRequestsOnDifferentThreadsUseOneConnection) {
    QSet<QString> connections;
    for (int i = 0; i < 5; ++i) {
        connections << answerOnNewThread(server.url("/connection"));
    }
    EXPECT_EQ(connections.size(), 1) << connections.values().join(", ").toStdString();
}

TEST_F(ConnectionReuse, AQueueUsesAtMostAConnectionPerRequestAtOnce) {
    constexpr int kRequests = 24;
    Collector collector;
    NetworkQueue queue;
    queue.setDelegate(&collector);
    queue.setRequestDidFinishSelector("requestDone");
    queue.setRequestDidFailSelector("requestFailed");
    for (int i = 0; i < kRequests; ++i) {
        auto request = std::make_shared<FormDataRequest>(server.url("/connection"));
        request->setPostValue(QString(20000, QLatin1Char('x')), QStringLiteral("signal"));
        queue.addOperation(request);
    }
    queue.go();
    pumpUntil([&] { return collector.answers.size() + collector.failed == kRequests; }, 60000);
    ASSERT_EQ(collector.failed, 0);
    ASSERT_EQ(collector.answers.size(), kRequests);
    const QSet<QString> connections(collector.answers.begin(), collector.answers.end());
    EXPECT_GE(connections.size(), 1);
    EXPECT_LE(connections.size(), queue.maxConcurrentOperationCount())
        << connections.values().join(", ").toStdString();
}

TEST_F(ConnectionReuse, EachServerAnswersOnItsOwnConnections) {
    NginxServer other;
    QString error;
    ASSERT_TRUE(other.start(&error)) << error.toStdString();
    for (int i = 0; i < 3; ++i) {
        for (const NginxServer *target : {&server, &other}) {
            const QUrl url = target->url("/connection");
            EXPECT_TRUE(answerOnNewThread(url).startsWith(QString::number(url.port()) + ' '));
        }
    }
}

// The server closes a kept-alive connection just as the next request goes out on it: that
// request goes again on a new connection, its body whole, and succeeds.
TEST(ConnectionReuseScripted, ARequestOnAConnectionClosedUnderItIsSentAgain) {
    using Server = ScriptedHttpServer;
    Server server(std::vector<std::vector<Server::Step>>{
        {Server::write("HTTP/1.1 200 X\r\nContent-Length: 5\r\n\r\nfirst")},
        {Server::close()},
        {Server::write(Server::response(200, "second"))}});
    const QByteArray body(3000, 'b');
    QStringList answers;
    for (int i = 0; i < 2; ++i) {
        HttpRequest request{QUrl(server.url())};
        request.setPostBody(body);
        std::thread worker([&request] { request.main(); });
        worker.join();
        ASSERT_FALSE(request.error()) << request.error()->localizedDescription.toStdString();
        answers << request.dataString().value_or(QString());
    }
    EXPECT_EQ(answers, QStringList({"first", "second"}));
    const QList<QByteArray> received = server.requests();
    ASSERT_EQ(received.size(), 3);
    EXPECT_TRUE(received[1].endsWith(body));
    EXPECT_EQ(received[2], received[1]);
}

}  // namespace

#include "ConnectionReuseTest.moc"
