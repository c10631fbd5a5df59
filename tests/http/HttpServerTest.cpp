// Interoperability with a real HTTP server: nginx from Debian's packages, started here on
// 127.0.0.1 with a configuration of our own and stopped at the end.
#include "http/HttpRequest.h"
#include "support/NginxServer.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <thread>

namespace {

class Nginx : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NginxServer::available()) {
            GTEST_SKIP() << "nginx is not installed (scripts/setup installs it)";
        }
        QFile big(server.wwwPath("big.bin"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        for (int i = 0; i < 20; ++i) {
            big.write(QByteArray(1024 * 1024, char('a' + i)));
        }
        big.close();
        QString error;
        ASSERT_TRUE(server.start(&error)) << error.toStdString();
    }
    // The session's credentials and cookies, however a test ends.
    void TearDown() override { HttpRequest::clearSession(); }
    QUrl url(const QString &path) const { return server.url(path); }
    static void runToEnd(HttpRequest &request) {
        std::thread worker([&request] { request.main(); });
        worker.join();
    }

    NginxServer server;
};

TEST_F(Nginx, DownloadsALargeFileToDisk) {
    HttpRequest request(url("/big.bin"));
    request.setDownloadDestinationPath(server.scratchPath("copy.bin"));
    runToEnd(request);
    EXPECT_EQ(request.error(), nullptr);
    EXPECT_EQ(request.responseStatusCode(), 200);
    EXPECT_EQ(request.contentLength(), 20u * 1024 * 1024);
    EXPECT_EQ(request.totalBytesRead(), 20u * 1024 * 1024);
    QFile copy(server.scratchPath("copy.bin"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.size(), 20 * 1024 * 1024);
    copy.seek(19 * 1024 * 1024);
    EXPECT_EQ(copy.read(1), QByteArray(1, 't'));
}

TEST_F(Nginx, UploadsABody) {
    HttpRequest request(url("/upload"));
    request.setPostBody(QByteArray(2 * 1024 * 1024, 'u'));
    runToEnd(request);
    EXPECT_EQ(request.error(), nullptr);
    EXPECT_EQ(request.responseStatusCode(), 200);
    EXPECT_EQ(request.dataString(), QString("received\n"));
}

TEST_F(Nginx, AMissingFileIs404) {
    HttpRequest request(url("/nothing.here"));
    runToEnd(request);
    EXPECT_EQ(request.error(), nullptr);
    EXPECT_EQ(request.responseStatusCode(), 404);
}

TEST_F(Nginx, AnswersBasicAuthenticationAndKeepsItsCookie) {
    HttpRequest::clearSession();
    HttpRequest guarded(url("/private/secret.txt"));
    guarded.setUsername("user");
    guarded.setPassword("pass");
    guarded.setUseSessionPersistence(false);
    runToEnd(guarded);
    EXPECT_EQ(guarded.error(), nullptr);
    EXPECT_EQ(guarded.responseStatusCode(), 200);
    EXPECT_EQ(guarded.dataString(), QString("hidden\n"));
    EXPECT_TRUE(guarded.requestCredentials());  // it was challenged and answered

    HttpRequest wrong(url("/private/secret.txt"));
    wrong.setUsername("user");
    wrong.setPassword("nope");
    wrong.setUseSessionPersistence(false);
    runToEnd(wrong);
    ASSERT_NE(wrong.error(), nullptr);
    EXPECT_EQ(wrong.error()->code, 3);  // refused, and nobody to ask

    HttpRequest cookie(url("/cookie"));
    runToEnd(cookie);
    ASSERT_TRUE(cookie.responseCookies());
    ASSERT_EQ(cookie.responseCookies()->size(), 1);
    EXPECT_EQ(cookie.responseCookies()->first().value(), "oat");
    HttpRequest again(url("/cookies-sent"));  // the server answers with the Cookie it received
    runToEnd(again);
    EXPECT_EQ(again.dataString(), QString("flavour=oat\n"));
}

}  // namespace
