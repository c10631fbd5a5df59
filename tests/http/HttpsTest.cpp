// HTTPS against nginx over TLS on 127.0.0.1, with certificates of the test's own authorities:
// only a certificate that a trusted authority made for the host asked for lets an exchange
// through; any other ends as a connection failure that names the certificate problem.
#include "http/HttpRequest.h"
#include "support/EventLoop.h"
#include "support/NginxServer.h"
#include "support/Printers.h"
#include "support/ScopedEnvironment.h"
#include "support/TestCertificates.h"

#include <QFile>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <thread>

namespace {

class Outcome : public QObject {
    Q_OBJECT
public:
    int finished = 0;
    int failed = 0;
public slots:
    void requestFinished(HttpRequest *) { ++finished; }
    void requestFailed(HttpRequest *) { ++failed; }
};

// nginx serving page.txt over TLS with the certificate `made`; false when it did not come up.
bool serve(NginxServer &server, const TestCertificates &made, QString *error) {
    server.setTls(made.certificate(), made.key());
    QFile page(server.wwwPath("page.txt"));
    if (!page.open(QIODevice::WriteOnly) || page.write("page\n") != 5) {
        return false;
    }
    page.close();
    return server.start(error);
}

TEST(Https, OnlyATrustedCertificateForTheHostAskedForGetsThrough) {
    if (!NginxServer::available()) {
        GTEST_SKIP() << "nginx is not installed (scripts/setup installs it)";
    }
    QString error;
    TestCertificates forLoopback("127.0.0.1"), forAnotherHost("reports.shakelog.test");
    ASSERT_TRUE(forLoopback.make(&error)) << error.toStdString();
    ASSERT_TRUE(forAnotherHost.make(&error)) << error.toStdString();
    NginxServer loopback, anotherHost;
    ASSERT_TRUE(serve(loopback, forLoopback, &error)) << error.toStdString();
    ASSERT_TRUE(serve(anotherHost, forAnotherHost, &error)) << error.toStdString();

    const struct {
        const char *what;
        const NginxServer &server;
        QString trusted;     // the authority SSL_CERT_FILE names
        const char *reason;  // in curl's account of the failure; none: it gets through
    } cases[] = {
        {"its own authority", loopback, forLoopback.authority(), nullptr},
        {"another authority", loopback, forAnotherHost.authority(), "issuer certificate"},
        {"made for another host", anotherHost, forAnotherHost.authority(), "host name"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const ScopedEnvironment trust("SSL_CERT_FILE", c.trusted.toLocal8Bit());
        HttpRequest request(
            QUrl(QStringLiteral("https://127.0.0.1:%1/page.txt").arg(c.server.tlsPort())));
        Outcome outcome;
        request.setDelegate(&outcome);
        std::thread worker([&request] { request.main(); });
        pumpUntil([&] { return outcome.finished + outcome.failed > 0; });
        worker.join();
        if (!c.reason) {
            ASSERT_EQ(request.error(), nullptr) << request.error()
                                                       ->underlyingError.value_or(TransportError{})
                                                       .message.toStdString();
            EXPECT_EQ(request.responseStatusCode(), 200);
            EXPECT_EQ(request.dataString(), QString("page\n"));
            EXPECT_EQ(outcome.finished, 1);
            continue;
        }
        EXPECT_EQ(outcome.finished, 0);
        EXPECT_EQ(outcome.failed, 1);
        EXPECT_EQ(request.responseStatusCode(), 0);
        EXPECT_FALSE(request.receivedData());
        ASSERT_NE(request.error(), nullptr);
        EXPECT_EQ(request.error()->code, HttpError::ConnectionFailure);
        ASSERT_TRUE(request.error()->underlyingError);
        EXPECT_EQ(request.error()->underlyingError->code, CURLE_PEER_FAILED_VERIFICATION);
        // curl's own account of what is wrong, not just the name of its error code.
        const QString why = request.error()->underlyingError->message;
        EXPECT_TRUE(why.contains(c.reason)) << why.toStdString();
    }
}

}  // namespace

#include "HttpsTest.moc"
