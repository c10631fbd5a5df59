// Interoperability with a real HTTP server: nginx from Debian's packages, started here on
// 127.0.0.1 with a configuration of our own and stopped at the end.
#include "http/HttpRequest.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace {

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
    socklen_t length = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &length);
    ::close(fd);
    return ntohs(local.sin_port);
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    target.sin_port = htons(quint16(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&target), sizeof target) == 0;
    ::close(fd);
    return ok;
}

class Nginx : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists("/usr/sbin/nginx")) {
            GTEST_SKIP() << "nginx is not installed (scripts/setup installs it)";
        }
        port = freeLoopbackPort();
        QDir(dir.path()).mkpath("www");
        QFile big(dir.filePath("www/big.bin"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        for (int i = 0; i < 20; ++i) {
            big.write(QByteArray(1024 * 1024, char('a' + i)));
        }
        big.close();
        const QString d = dir.path();
        QFile conf(dir.filePath("nginx.conf"));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral(
                       "daemon off; master_process off; worker_processes 1;\n"
                       "pid %1/nginx.pid; error_log %1/error.log;\n"
                       "events { worker_connections 64; }\n"
                       "http { access_log off; client_body_temp_path %1/body; proxy_temp_path %1/proxy;\n"
                       "  fastcgi_temp_path %1/fcgi; uwsgi_temp_path %1/uwsgi; scgi_temp_path %1/scgi;\n"
                       "  server { listen 127.0.0.1:%2; root %1/www; client_max_body_size 100m;\n"
                       "    location /upload { return 200 \"received\\n\"; } } }\n")
                       .arg(d)
                       .arg(port)
                       .toUtf8());
        conf.close();
        nginx.start("/usr/sbin/nginx", {"-p", d, "-c", dir.filePath("nginx.conf"), "-e", dir.filePath("error.log")});
        ASSERT_TRUE(nginx.waitForStarted());
        QElapsedTimer timer;
        timer.start();
        while (!accepts(port) && timer.elapsed() < 5000) {
            QThread::msleep(20);
        }
        ASSERT_TRUE(accepts(port));
    }
    void TearDown() override {
        if (nginx.state() != QProcess::NotRunning) {
            nginx.terminate();
            nginx.waitForFinished(5000);
        }
    }
    QUrl url(const QString &path) const { return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)); }
    static void runToEnd(HttpRequest &request) {
        std::thread worker([&request] { request.main(); });
        worker.join();
    }

    QTemporaryDir dir;
    QProcess nginx;
    int port = 0;
};

TEST_F(Nginx, DownloadsALargeFileToDisk) {
    HttpRequest request(url("/big.bin"));
    request.setDownloadDestinationPath(dir.filePath("copy.bin"));
    runToEnd(request);
    EXPECT_EQ(request.error(), nullptr);
    EXPECT_EQ(request.responseStatusCode(), 200);
    EXPECT_EQ(request.contentLength(), 20u * 1024 * 1024);
    EXPECT_EQ(request.totalBytesRead(), 20u * 1024 * 1024);
    QFile copy(dir.filePath("copy.bin"));
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

}  // namespace
