// Servers that answer as no server should: connections reset at any moment, answers that stall
// or come a byte at a time, header blocks and bodies without end, status lines that are none,
// and redirects to themselves. Whatever the server does, a request ends exactly once, with the
// outcome that says what happened, in about its time-out at most, holding no more than its
// limit, and lets go of the connection. These run once more under ThreadSanitizer in CI.
#include "http/FormDataRequest.h"
#include "http/NetworkQueue.h"
#include "support/EventLoop.h"
#include "support/ScriptedHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <thread>

namespace {

using Server = ScriptedHttpServer;
using Steps = std::vector<Server::Step>;

constexpr double kTimeOut = 1.0;
constexpr quint64 kBodyLimit = 1024 * 1024;
// The request reads this much at a time: past its limit it may have read one such piece, no more.
constexpr quint64 kReadPiece = 2048;
const QByteArray kBlock(64 * 1024, 'b');

// A server's script and what the request must end with: an HttpError code, or 0 and the
// answer's status; for a failure the transport's code too, where it is ours to say.
struct Case {
    const char *name;
    Steps script;
    int code;
    int status = 0;
    int transportCode = 0;
};

class Delegate : public QObject {
    Q_OBJECT
public:
    int finished = 0;
    int failed = 0;
public slots:
    void requestFinished(HttpRequest *) { ++finished; }
    void requestFailed(HttpRequest *) { ++failed; }
};

// Checks the outcome of a request that has ended and been reported `reports` times.
void expectOutcome(const Case &c, const HttpRequest &request, int reports) {
    EXPECT_EQ(reports, 1);
    const HttpRequest::Error error = request.error();
    if (c.code == 0) {
        EXPECT_FALSE(error) << error->localizedDescription.toStdString();
        EXPECT_EQ(request.responseStatusCode(), c.status);
    } else {
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->code, c.code) << error->localizedDescription.toStdString();
        if (c.transportCode != 0) {
            ASSERT_TRUE(error->underlyingError);
            EXPECT_EQ(error->underlyingError->code, c.transportCode);
        }
    }
    EXPECT_LE(request.totalBytesRead(), kBodyLimit + kReadPiece);
}

// Runs the case's request on a worker thread as a queue would; the time it took, in ms.
qint64 expectEndsOnce(const Case &c) {
    SCOPED_TRACE(c.name);
    Server server(c.script);
    HttpRequest request(QUrl(server.url()));
    request.setTimeOutSeconds(kTimeOut);
    request.setMaxResponseBodySize(kBodyLimit);
    Delegate delegate;
    request.setDelegate(&delegate);
    QElapsedTimer clock;
    clock.start();
    std::thread worker([&request] { request.main(); });
    pumpUntil([&] { return request.isFinished(); }, 20000);
    if (!request.isFinished()) {
        ADD_FAILURE() << "still running after 20 s";
        request.cancel();  // so that the test fails rather than hangs
    }
    worker.join();
    const qint64 elapsed = clock.elapsed();
    QCoreApplication::processEvents();  // whatever the worker posted, a second callback included
    expectOutcome(c, request, delegate.finished + delegate.failed);
    EXPECT_EQ(delegate.finished, c.code == 0 ? 1 : 0);
    // A server that sends without end stops only when the client lets go of the connection.
    server.release();
    pumpUntil([&] { return server.scriptDone(); });
    EXPECT_TRUE(server.scriptDone()) << "the connection is still held";
    return elapsed;
}

TEST(HostileServer, AConnectionCutShortFailsTheRequestOnce) {
    const QByteArray header = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n";
    for (const Case &c : {
             Case{"reset before any answer", {Server::reset()}, 1},
             Case{"closed before any answer", {Server::close()}, 1},
             Case{"reset inside the header", {Server::write(header.left(20)), Server::reset()}, 1},
             Case{"reset inside the body",
                  {Server::write(header + kBlock.left(5000)), Server::reset()},
                  1},
             Case{"closed inside the body",
                  {Server::write(header + kBlock.left(5000)), Server::close()},
                  1},
             Case{"closed inside a chunk",
                  {Server::write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                 "100\r\nabc"),
                   Server::close()},
                  1},
         }) {
        expectEndsOnce(c);
    }
}

TEST(HostileServer, AStalledAnswerEndsInItsTimeOut) {
    for (const Case &c : {
             Case{"the header, then nothing",
                  {Server::write("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n"), Server::hold()},
                  2},
             Case{"half a header line, then nothing",
                  {Server::write("HTTP/1.1 200 OK\r\nContent-Le"), Server::hold()},
                  2},
         }) {
        const qint64 elapsed = expectEndsOnce(c);
        EXPECT_GE(elapsed, qint64(kTimeOut * 1000)) << c.name;
        EXPECT_LT(elapsed, qint64(kTimeOut * 1000) + 4000) << c.name;
    }
}

TEST(HostileServer, AnAnswerOneByteAtATimeIsNoStall) {
    // Every byte 15 ms after the last: the whole answer takes longer than the time-out, and
    // no line longer than it.
    const QByteArray answer = Server::response(200, QByteArray(40, 'x'));
    const qint64 elapsed = expectEndsOnce({"trickled", {Server::trickle(answer, 15)}, 0, 200});
    EXPECT_GT(elapsed, qint64(kTimeOut * 1000));
}

TEST(HostileServer, InvalidStatusLinesFailTheRequestOnce) {
    for (const Case &c : {
             Case{"garbage", {Server::write("garbage\r\n\r\n"), Server::hold()}, 1},
             Case{"a status that is no number",
                  {Server::write("HTTP/1.1 abc\r\n\r\n"), Server::hold()},
                  1},
             Case{"an empty line", {Server::write("\r\n\r\n"), Server::hold()}, 1},
             Case{"binary bytes",
                  {Server::write(QByteArray("\x00\xff\x01\x80\r\n\r\n", 8)), Server::hold()},
                  1},
             Case{"a status line without its line end",
                  {Server::write("HTTP/1.1 200 OK"), Server::close()},
                  1},
         }) {
        expectEndsOnce(c);
    }
}

TEST(HostileServer, HeadersWithoutEndFailTheRequestOnce) {
    // They end at curl's bounds on a header line and on a header block (interim answers
    // included): a client that read on would never end, and would hold all of it.
    for (const Case &c : {
             Case{"an endless header line",
                  {Server::write("HTTP/1.1 200 OK\r\nX-Big: "), Server::repeat(kBlock)},
                  1},
             Case{"endless header lines",
                  {Server::write("HTTP/1.1 200 OK\r\n"), Server::repeat("X-Line: 1\r\n")},
                  1},
             Case{"endless interim answers", {Server::repeat("HTTP/1.1 100 Continue\r\n\r\n")}, 1},
         }) {
        expectEndsOnce(c);
    }
}

TEST(HostileServer, ARedirectToItselfIsTheAnswer) {
    for (const int status : {301, 302, 307, 308}) {
        SCOPED_TRACE(status);
        // Followed, it would ask again and wait for an answer that never comes.
        expectEndsOnce(
            {"redirect",
             {Server::write(Server::response(status, "", "Location: /\r\n")), Server::hold()},
             0,
             status});
    }
}

TEST(HostileServer, ABodyBeyondTheLimitEndsThereWithoutBeingHeld) {
    for (const Case &c : {
             Case{"64 MiB with its length",
                  {Server::write("HTTP/1.1 200 OK\r\nContent-Length: 67108864\r\n\r\n"),
                   Server::repeat(kBlock, 1024)},
                  1,
                  0,
                  CURLE_FILESIZE_EXCEEDED},
             Case{"endless chunks",
                  {Server::write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"),
                   Server::repeat("10000\r\n" + kBlock + "\r\n")},
                  1,
                  0,
                  CURLE_FILESIZE_EXCEEDED},
             Case{"endless until the connection closes",
                  {Server::write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"),
                   Server::repeat(kBlock)},
                  1,
                  0,
                  CURLE_FILESIZE_EXCEEDED},
         }) {
        expectEndsOnce(c);
    }
}

// The queue's delegate, counting what it hears of each request.
class Recorder : public QObject {
    Q_OBJECT
public:
    QMap<HttpRequest *, int> reports;
public slots:
    void requestFinished(HttpRequest *request) { ++reports[request]; }
    void requestFailed(HttpRequest *request) { ++reports[request]; }
};

TEST(HostileServer, AQueueHearsOnceOfEachRequestWhateverItsServerDid) {
    const std::vector<Case> cases = {
        {"reset", {Server::reset()}, 1},
        {"garbage", {Server::write("garbage\r\n\r\n"), Server::hold()}, 1},
        {"endless header lines",
         {Server::write("HTTP/1.1 200 OK\r\n"), Server::repeat("X-Line: 1\r\n")},
         1},
        {"endless body",
         {Server::write("HTTP/1.1 200 OK\r\n\r\n"), Server::repeat(kBlock)},
         1,
         0,
         CURLE_FILESIZE_EXCEEDED},
        {"redirect", {Server::write(Server::response(302, "", "Location: /\r\n"))}, 0, 302},
        {"stall",
         {Server::write("HTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\n"), Server::hold()},
         2},
    };
    Recorder recorder;
    NetworkQueue queue;
    queue.setDelegate(&recorder);
    queue.setRequestDidFinishSelector("requestFinished");
    queue.setRequestDidFailSelector("requestFailed");
    queue.setShouldCancelAllRequestsOnFailure(false);  // each request to its own end
    std::vector<std::unique_ptr<Server>> servers;
    std::vector<std::shared_ptr<FormDataRequest>> requests;
    for (const Case &c : cases) {
        servers.push_back(std::make_unique<Server>(c.script));
        requests.push_back(std::make_shared<FormDataRequest>(QUrl(servers.back()->url("/peak"))));
        requests.back()->setPostValue(QStringLiteral("0.31"), QStringLiteral("g"));
        requests.back()->setTimeOutSeconds(kTimeOut);
        requests.back()->setMaxResponseBodySize(kBodyLimit);
        queue.addOperation(requests.back());
    }
    queue.go();
    pumpUntil(
        [&] {
            return std::all_of(requests.begin(), requests.end(),
                               [](const auto &request) { return request->isFinished(); });
        },
        20000);
    queue.cancelAllOperations();  // any still running: the test fails rather than hangs
    queue.waitUntilAllOperationsAreFinished();
    QCoreApplication::processEvents();  // every outcome the workers posted
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        expectOutcome(cases[i], *requests[i], recorder.reports.value(requests[i].get()));
        servers[i]->release();
    }
}

}  // namespace

#include "HostileServerTest.moc"
