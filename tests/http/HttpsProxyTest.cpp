// HTTPS through a proxy from the environment, against nginx with a certificate of the test's
// own authority: the proxy's "200 Connection established" is never taken for the server's
// answer. The proxy only ever connects to 127.0.0.1, whatever host a request names.
#include "http/HttpRequest.h"
#include "support/ConnectProxy.h"
#include "support/NginxServer.h"
#include "support/ScopedEnvironment.h"
#include "support/TestCertificates.h"

#include <QFile>

#include <gtest/gtest.h>

#include <thread>

namespace {

const QString kHost = QStringLiteral("reports.shakelog.test");

TEST(HttpsProxy, TheServersOwnAnswerComesThroughTheTunnel) {
    if (!NginxServer::available()) {
        GTEST_SKIP() << "nginx is not installed (scripts/setup installs it)";
    }
    TestCertificates certificates(kHost);
    QString error;
    ASSERT_TRUE(certificates.make(&error)) << error.toStdString();
    NginxServer server;
    server.setTls(certificates.certificate(), certificates.key());
    QFile page(server.wwwPath("page.txt"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly) && page.write("page\n") == 5);
    page.close();
    ASSERT_TRUE(server.start(&error)) << error.toStdString();

    const ScopedEnvironment trust("SSL_CERT_FILE", certificates.authority().toLocal8Bit());
    for (const auto &[path, status] :
         {std::pair{"/missing.txt", 404}, std::pair{"/page.txt", 200}}) {
        ConnectProxy proxy(server.tlsPort());
        const ScopedEnvironment viaProxy("https_proxy",
                                         "http://127.0.0.1:" + QByteArray::number(proxy.port()));
        const QUrl url(
            QStringLiteral("https://%1:%2%3").arg(kHost).arg(server.tlsPort()).arg(path));
        HttpRequest request(url);
        std::thread worker([&request] { request.main(); });
        worker.join();
        EXPECT_TRUE(proxy.connectRequest().startsWith("CONNECT " + kHost.toUtf8() + ":"))
            << proxy.connectRequest().toStdString();
        ASSERT_EQ(request.error(), nullptr) << request.error()->localizedDescription.toStdString();
        EXPECT_EQ(request.responseStatusCode(), status) << path;
    }
}

}  // namespace
