#include "http/HttpRequest.h"
#include "support/EventLoop.h"
#include "support/FileSizeLimit.h"
#include "support/Printers.h"
#include "support/ScopedEnvironment.h"
#include "support/ScriptedHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace {

using Server = ScriptedHttpServer;

struct CurlEnvironment : ::testing::Environment {
    void SetUp() override { curl_global_init(CURL_GLOBAL_DEFAULT); }
};
const auto *environment = ::testing::AddGlobalTestEnvironment(new CurlEnvironment);

// Receives the callbacks, noting the thread they arrive on.
class Delegate : public QObject {
    Q_OBJECT
public:
    int finished = 0;
    int failed = 0;
    bool onMainThread = true;
public slots:
    void requestFinished(HttpRequest *) {
        ++finished;
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    }
    void requestFailed(HttpRequest *) {
        ++failed;
        onMainThread = onMainThread && QThread::currentThread() == qApp->thread();
    }
};

// Runs the request on a worker thread, as a queue would, until it ends and its callback came.
void run(HttpRequest &request, Delegate &delegate, const std::function<void()> &whileRunning = {}) {
    request.setDelegate(&delegate);
    std::thread worker([&request] { request.main(); });
    if (whileRunning) {
        whileRunning();
    }
    pumpUntil([&] { return request.isFinished() && delegate.finished + delegate.failed > 0; });
    worker.join();
    QCoreApplication::processEvents();
}

TEST(HttpRequest, ErrorStatusesFinishNormally) {
    for (int status : {404, 500}) {
        Server server({Server::write(Server::response(status, "nope"))});
        HttpRequest request(QUrl(server.url("/missing")));
        Delegate delegate;
        run(request, delegate);
        EXPECT_EQ(delegate.finished, 1);
        EXPECT_EQ(delegate.failed, 0);
        EXPECT_EQ(request.responseStatusCode(), status);
        EXPECT_EQ(request.error(), nullptr);
        EXPECT_EQ(request.dataString(), QString("nope"));
        EXPECT_TRUE(delegate.onMainThread);
        EXPECT_TRUE(server.request().startsWith("GET /missing HTTP/1.1\r\n"));
    }
}

TEST(HttpRequest, ADelegateWithoutTheCallbacksIsNotCalled) {
    Server server({Server::write(Server::response(200, "fine"))});
    HttpRequest request(QUrl(server.url()));
    Delegate delegate;  // has requestFinished, but the request is told to call another name
    request.setDelegate(&delegate);
    request.setDidFinishSelector("somethingElse");
    std::thread worker([&request] { request.main(); });
    worker.join();
    pumpUntil([] { return false; }, 100);  // what the request posted has been delivered
    EXPECT_TRUE(request.isFinished());
    EXPECT_EQ(request.dataString(), QString("fine"));
    EXPECT_EQ(delegate.finished + delegate.failed, 0);
}

TEST(HttpRequest, ALongBodyArrivesWhole) {
    QByteArray body;
    for (int i = 0; i < 9000; ++i) {
        body.append(char('a' + i % 26));
    }
    Server server({Server::write(Server::response(200, body.left(3000))), Server::pause(100),
                   Server::write(body.mid(3000))});
    // Content-Length announces only 3000: the rest is not part of this response.
    HttpRequest request(QUrl(server.url()));
    Delegate delegate;
    run(request, delegate);
    EXPECT_EQ(request.totalBytesRead(), 3000u);
    EXPECT_EQ(request.contentLength(), 3000u);
    EXPECT_EQ(request.receivedData(), body.left(3000));
}

TEST(HttpRequest, HeaderFieldsAppearOnlyOnceTheHeaderIsComplete) {
    Server server({Server::write("HTTP/1.1 200 OK\r\nX-Early: 1\r\nContent-Le"), Server::hold(),
                   Server::write("ngth: 2\r\nX-Thing: 1\r\n\r\nok")});
    HttpRequest request(QUrl(server.url()));
    Delegate delegate;
    bool noneWhileSplit = true;
    run(request, delegate, [&] {
        // The first part, a whole field among it, has been sent: for a while it has arrived,
        // and still no field shows.
        pumpUntil([&] { return server.holding(); });
        QElapsedTimer watched;
        watched.start();
        while (watched.elapsed() < 300) {
            noneWhileSplit = noneWhileSplit && !request.responseHeaders().has_value();
            QThread::msleep(1);
        }
        server.release();
    });
    EXPECT_TRUE(noneWhileSplit);
    ASSERT_TRUE(request.responseHeaders());
    EXPECT_EQ(request.responseHeaders()->value("X-Early"), "1");
    EXPECT_EQ(request.responseHeaders()->value("X-Thing"), "1");
    EXPECT_EQ(request.responseHeaders()->value("Content-Length"), "2");
}

TEST(HttpRequest, AConnectionFailureCarriesTheTransportError) {
    Server server(
        {Server::write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial"), Server::reset()});
    HttpRequest request(QUrl(server.url()));
    Delegate delegate;
    run(request, delegate);
    ASSERT_NE(request.error(), nullptr);
    EXPECT_EQ(request.error()->code, 1);
    EXPECT_EQ(request.error()->localizedDescription, "A connection failure occurred");
    EXPECT_EQ(request.error()->domain, HttpError::NetworkRequestErrorDomain);
    ASSERT_TRUE(request.error()->underlyingError);
    EXPECT_NE(request.error()->underlyingError->code, 0);
    EXPECT_EQ(delegate.failed, 1);
}

TEST(HttpRequest, AnUnresponsiveServerTimesOut) {
    Server server({Server::pause(10000)});
    HttpRequest request(QUrl(server.url()));
    request.setTimeOutSeconds(0.5);
    Delegate delegate;
    QElapsedTimer timer;
    timer.start();
    run(request, delegate);
    ASSERT_NE(request.error(), nullptr);
    EXPECT_EQ(request.error(), HttpError::RequestTimedOutError);
    EXPECT_EQ(request.error()->localizedDescription, "The request timed out");
    EXPECT_LT(timer.elapsed(), 5000);  // long before the server's end

    // A second failure keeps the first error and calls back once.
    request.cancel();
    EXPECT_EQ(request.error()->code, 2);
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.failed, 1);
}

TEST(HttpRequest, ASlowButSteadyExchangeDoesNotTimeOut) {
    QByteArray chunks;
    std::vector<Server::Step> script = {
        Server::write("HTTP/1.1 200 OK\r\nContent-Length: 20\r\n\r\n")};
    for (int i = 0; i < 10; ++i) {
        script.push_back(Server::pause(150));
        script.push_back(Server::write("xx"));
    }
    Server server(script);  // 1.5 s in all, a byte pair every 0.15 s
    HttpRequest request(QUrl(server.url()));
    request.setShowAccurateProgress(false);  // as the queue runs requests
    request.setTimeOutSeconds(1.0);
    Delegate delegate;
    run(request, delegate);
    EXPECT_EQ(request.error(), nullptr);
    EXPECT_EQ(request.receivedData(), QByteArray(20, 'x'));

    // The same with header lines: a server that takes its time over them is still answering.
    std::vector<Server::Step> slowHeader = {Server::write("HTTP/1.1 200 OK\r\n")};
    for (int i = 0; i < 6; ++i) {
        slowHeader.push_back(Server::pause(400));
        slowHeader.push_back(Server::write("X-Step: " + QByteArray::number(i) + "\r\n"));
    }
    slowHeader.push_back(Server::write("Content-Length: 2\r\n\r\nok"));
    Server lingering(slowHeader);  // 2.4 s of header, a line every 0.4 s
    HttpRequest answered(QUrl(lingering.url()));
    answered.setShowAccurateProgress(false);
    answered.setTimeOutSeconds(1.5);
    Delegate lingeringDelegate;
    run(answered, lingeringDelegate);
    EXPECT_EQ(answered.error(), nullptr);
    EXPECT_EQ(answered.dataString(), QString("ok"));

    // And the other way: a body the server takes in at a steady 5.3 MB/s for three seconds,
    // however fast the client. The kernel's send buffer, up to 4 MB, lets the client's bytes
    // stand still while it drains (about a third of a second at this pace), and a slow or busy
    // client stands still longer: the time-out leaves room for both.
    Server slowReader({Server::write(Server::response(200, "thanks"))}, 64 * 1024, 12);
    HttpRequest upload(QUrl(slowReader.url("/upload")));
    upload.setShowAccurateProgress(false);
    upload.setPostBody(QByteArray(16 * 1024 * 1024, 'u'));
    upload.setTimeOutSeconds(2.0);
    Delegate uploadDelegate;
    run(upload, uploadDelegate);
    EXPECT_EQ(upload.error(), nullptr)
        << (upload.error() ? upload.error()->code : 0) << " after " << upload.totalBytesRead();
    EXPECT_EQ(upload.dataString(), QString("thanks"));
}

TEST(HttpRequest, InterimResponsesGiveWayToTheFinalOne) {
    Server server({Server::write("HTTP/1.1 100 Continue\r\n\r\n"
                                 "HTTP/1.1 103 Early Hints\r\nLink: </a.css>; rel=preload\r\n\r\n"),
                   Server::pause(100),
                   Server::write("HTTP/1.1 201 Created\r\nContent-Length: 5\r\nX-Final: "
                                 "yes\r\nConnection: close\r\n\r\nfinal")});
    HttpRequest request(QUrl(server.url()));
    Delegate delegate;
    run(request, delegate);
    EXPECT_EQ(delegate.finished, 1);
    EXPECT_EQ(request.responseStatusCode(), 201);
    ASSERT_TRUE(request.responseHeaders());
    EXPECT_EQ(request.responseHeaders()->value("X-Final"), "yes");
    EXPECT_FALSE(
        request.responseHeaders()->contains("Link"));  // the hints' field is not the answer's
    EXPECT_EQ(request.dataString(), QString("final"));
}

TEST(HttpRequest, ATimeOutOfZeroOrLessIsNone) {
    for (const double seconds : {0.0, -1.0}) {
        Server server({Server::pause(1500), Server::write(Server::response(200, "late"))});
        HttpRequest request(QUrl(server.url()));
        request.setTimeOutSeconds(seconds);
        Delegate delegate;
        run(request, delegate);
        EXPECT_EQ(request.error(), nullptr) << seconds;
        EXPECT_EQ(request.dataString(), QString("late")) << seconds;
    }
}

// A proxy from the environment is for the world outside: a server on 127.0.0.1 is asked
// directly, whichever variable names the proxy.
TEST(HttpRequest, LoopbackIsNeverReachedThroughAProxyFromTheEnvironment) {
    const ScopedEnvironment noExceptions("no_proxy"), noExceptionsEither("NO_PROXY");
    for (const char *variable : {"http_proxy", "all_proxy", "ALL_PROXY"}) {
        Server proxy({Server::write(Server::response(200, "from the proxy"))});
        Server server({Server::write(Server::response(200, "direct"))});
        const ScopedEnvironment viaProxy(variable, proxy.url());
        HttpRequest request(QUrl(server.url("/page")));
        Delegate delegate;
        run(request, delegate);
        EXPECT_EQ(request.dataString(), QString("direct")) << variable;
        EXPECT_TRUE(proxy.requests().isEmpty()) << variable;
    }
}

TEST(HttpRequest, CancelEndsWithCodeFourAndDropsTheData) {
    Server server({Server::write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nsome"),
                   Server::pause(30000)});
    HttpRequest request(QUrl(server.url()));
    Delegate delegate;
    run(request, delegate, [&] {
        pumpUntil([&] { return request.totalBytesRead() > 0; });
        request.cancel();
    });
    ASSERT_NE(request.error(), nullptr);
    EXPECT_EQ(request.error()->code, 4);
    EXPECT_EQ(request.error()->localizedDescription, "The request was cancelled");
    EXPECT_FALSE(request.receivedData());
    EXPECT_FALSE(request.responseHeaders());
    EXPECT_FALSE(request.dataString());
    EXPECT_EQ(delegate.failed, 1);
}

TEST(HttpRequest, ACancelAfterTheRequestEndedChangesNothing) {
    // A queue or a window may cancel a request that has just ended: it keeps its one outcome
    // and its data.
    Server server({Server::write(Server::response(200, "kept"))});
    HttpRequest request(QUrl(server.url()));
    Delegate delegate;
    run(request, delegate);
    request.cancel();
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate.finished, 1);
    EXPECT_EQ(delegate.failed, 0);
    EXPECT_EQ(request.error(), nullptr);
    EXPECT_EQ(request.dataString(), QString("kept"));
}

TEST(HttpRequest, BadUrlsCannotMakeARequest) {
    for (const QUrl &url :
         {QUrl("not a url at all"), QUrl(), QUrl("ftp://127.0.0.1/"), QUrl("http:///path")}) {
        HttpRequest request(url);
        Delegate delegate;
        request.setDelegate(&delegate);
        request.main();  // on the main thread: the callback comes at once
        ASSERT_NE(request.error(), nullptr);
        EXPECT_EQ(request.error()->code, 5);
        EXPECT_EQ(request.error()->localizedDescription, "Unable to create request (bad url?)");
        EXPECT_EQ(delegate.failed, 1);
    }
}

TEST(HttpRequest, DownloadsGoToAFileAndACancelledOneLeavesNone) {
    QTemporaryDir dir;
    const QByteArray body(3 * 1024 * 1024, 'd');
    {
        Server server({Server::write(Server::response(200, body))});
        HttpRequest request(QUrl(server.url()));
        request.setDownloadDestinationPath(dir.filePath("whole.bin"));
        Delegate delegate;
        run(request, delegate);
        EXPECT_EQ(request.error(), nullptr);
        EXPECT_EQ(QFile(dir.filePath("whole.bin")).size(), body.size());
        EXPECT_EQ(request.receivedData(), QByteArray());  // nothing kept in memory
    }
    EXPECT_TRUE(QFile::exists(dir.filePath("whole.bin")));  // a finished download stays
    {
        Server server({Server::write("HTTP/1.1 200 OK\r\nContent-Length: 9999999\r\n\r\n" +
                                     body.left(100000)),
                       Server::pause(30000)});
        auto request = std::make_unique<HttpRequest>(QUrl(server.url()));
        request->setDownloadDestinationPath(dir.filePath("part.bin"));
        Delegate delegate;
        run(*request, delegate, [&] {
            pumpUntil([&] { return request->totalBytesRead() >= 100000; });
            request->cancel();
        });
        request.reset();
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("part.bin")));
}

TEST(HttpRequest, ADownloadThatCannotBeWrittenIsAnError) {
    QTemporaryDir dir;
    const struct {
        QString path;
        bool diskFull;
    } cases[] = {
        {dir.filePath("no/such/folder/file.bin"), false},  // cannot be opened
        {dir.filePath("full.bin"), true},                  // writes fail past 16 KiB
    };
    for (const auto &[path, diskFull] : cases) {
        Server server({Server::write(Server::response(200, QByteArray(64 * 1024, 'd')))});
        HttpRequest request(QUrl(server.url()));
        request.setDownloadDestinationPath(path);
        Delegate delegate;
        {
            std::optional<FileSizeLimit> full;
            if (diskFull) {
                full.emplace(16 * 1024);
            }
            run(request, delegate);
        }
        ASSERT_NE(request.error(), nullptr) << path.toStdString();
        EXPECT_EQ(request.error()->code, 6);
        EXPECT_TRUE(request.error()->localizedDescription.contains(path))
            << request.error()->localizedDescription.toStdString();
        EXPECT_EQ(delegate.failed, 1);
        EXPECT_EQ(delegate.finished, 0);
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("full.bin")));  // the partial file goes
    // A file that cannot be written is left alone.
    const QString readOnly = dir.filePath("kept.bin");
    QFile kept(readOnly);
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly) && kept.write("mine") == 4);
    kept.close();
    kept.setPermissions(QFile::ReadOwner);
    if (!QFile(readOnly).open(QIODevice::WriteOnly)) {  // as root every file is writable
        Server server({Server::write(Server::response(200, "new"))});
        HttpRequest request(QUrl(server.url()));
        request.setDownloadDestinationPath(readOnly);
        Delegate delegate;
        run(request, delegate);
        EXPECT_NE(request.error(), nullptr);
        EXPECT_TRUE(QFile::exists(readOnly));
    }
}

TEST(HttpRequest, ACancelledDownloadLeavesAFileItNeverWroteAlone) {
    QTemporaryDir dir;
    const QString path = dir.filePath("earlier.bin");
    QFile earlier(path);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
    earlier.close();
    Server server({Server::pause(30000)});
    auto request = std::make_unique<HttpRequest>(QUrl(server.url()));
    request->setDownloadDestinationPath(path);
    Delegate delegate;
    run(*request, delegate, [&] {
        pumpUntil([&] { return !server.requests().isEmpty(); });  // asked, and waiting
        request->cancel();
    });
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(QFile(path).size(), 7);
}

TEST(HttpRequest, TheRequestCarriesItsHeadersCookiesAndBody) {
    Server server({Server::write(Server::response(200, ""))});
    HttpRequest request(QUrl(server.url("/report?x=1")));
    request.setRequestMethod("GET");
    request.setPostBody(QByteArray("a=b"));
    EXPECT_EQ(request.requestMethod(), "POST");  // a body makes a GET a POST
    request.addRequestHeader("X-Test", "1");
    QNetworkCookie a("a", "1"), b("b", "two words");
    request.setRequestCookies({a, b});
    Delegate delegate;
    run(request, delegate);
    const QByteArray sent = server.request();
    EXPECT_TRUE(sent.startsWith("POST /report?x=1 HTTP/1.1\r\n")) << sent.toStdString();
    EXPECT_TRUE(sent.contains("\r\nCookie: a=1; b=two%20words\r\n")) << sent.toStdString();
    EXPECT_TRUE(sent.contains("\r\nContent-Length: 3\r\n"));
    EXPECT_TRUE(sent.contains("\r\nX-Test: 1\r\n"));
    EXPECT_FALSE(sent.contains("Expect:"));
    EXPECT_TRUE(sent.endsWith("\r\n\r\na=b"));
}

TEST(HttpRequest, TheMessageCarriesExactlyTheRequestsFields) {
    {
        // A body without a type gets none added; an empty field goes out empty.
        Server server({Server::write(Server::response(200, ""))});
        HttpRequest request(QUrl(server.url("/r")));
        request.setPostBody(QByteArray("x"));
        request.addRequestHeader("X-Empty", "");
        Delegate delegate;
        run(request, delegate);
        const QByteArray sent = server.request();
        EXPECT_FALSE(sent.contains("Content-Type")) << sent.toStdString();
        EXPECT_TRUE(sent.contains("\r\nX-Empty:")) << sent.toStdString();
    }
    for (const QByteArray method : {"DELETE", "OPTIONS"}) {
        Server server({Server::write(Server::response(200, ""))});
        HttpRequest request(QUrl(server.url("/r")));
        request.setRequestMethod(method);
        Delegate delegate;
        run(request, delegate);
        const QByteArray sent = server.request();
        EXPECT_TRUE(sent.startsWith(method + " /r HTTP/1.1\r\n")) << sent.toStdString();
        EXPECT_FALSE(sent.contains("Content-Length")) << sent.toStdString();
    }
}

TEST(HttpRequest, LineBreaksInFieldsAreRefusedBeforeAnythingIsSent) {
    const std::function<void(HttpRequest &)> injections[] = {
        [](HttpRequest &r) { r.addRequestHeader("X-Test", "1\r\nX-Injected: 1"); },
        [](HttpRequest &r) { r.addRequestHeader("X-Test\r\nX-Injected", "1"); },
        [](HttpRequest &r) { r.addRequestHeader("X-Test", "1\nX-Injected: 1"); },
        [](HttpRequest &r) { r.setRequestCookies({QNetworkCookie("a\r\nX-Injected: 1", "1")}); },
    };
    for (const auto &inject : injections) {
        Server server({Server::write(Server::response(200, ""))});
        HttpRequest request(QUrl(server.url("/r")));
        inject(request);
        Delegate delegate;
        run(request, delegate);
        ASSERT_NE(request.error(), nullptr);
        EXPECT_EQ(request.error()->code, 5);
        EXPECT_TRUE(server.requests().isEmpty());
    }
}

TEST(HttpRequest, TextThatIsNotUtf8HasNoDataString) {
    Server server({Server::write(Server::response(200, "\xff\xfe\xfd"))});
    HttpRequest request(QUrl(server.url()));
    Delegate delegate;
    run(request, delegate);
    EXPECT_EQ(request.receivedData(), QByteArray("\xff\xfe\xfd"));
    EXPECT_FALSE(request.dataString());
    HttpRequest fresh(QUrl("http://127.0.0.1/"));
    EXPECT_FALSE(fresh.dataString());  // no body yet
    EXPECT_EQ(fresh.timeOutSeconds(), 10.0);
    EXPECT_EQ(fresh.requestMethod(), "GET");
    EXPECT_TRUE(fresh.useCookiePersistence());
    EXPECT_FALSE(fresh.useKeychainPersistence());
    EXPECT_TRUE(fresh.useSessionPersistence());
}

TEST(HttpRequest, BodyRules) {
    HttpRequest empty(QUrl("http://127.0.0.1/"));
    empty.setPostBody(std::nullopt);
    EXPECT_EQ(empty.requestHeaders()->value("Content-Length"), "0");
    EXPECT_EQ(empty.requestMethod(), "GET");
    HttpRequest put(QUrl("http://127.0.0.1/"));
    put.setRequestMethod("PUT");
    put.setPostBody(QByteArray("x"));
    EXPECT_EQ(put.requestMethod(), "PUT");
    HttpRequest head(QUrl("http://127.0.0.1/"));
    head.setRequestMethod("HEAD");
    head.setPostBody(QByteArray("x"));
    EXPECT_EQ(head.requestMethod(), "POST");
    EXPECT_EQ(head.postLength(), 1u);
}

}  // namespace

#include "HttpRequestTest.moc"
