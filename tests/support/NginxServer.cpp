#include "support/NginxServer.h"

#include "support/Loopback.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace {
const QString kNginx = QStringLiteral("/usr/sbin/nginx");

int freeLoopbackPort() {
    int port = 0;
    ::close(bindLoopback(SOCK_STREAM, &port));
    return port;
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
}  // namespace

bool NginxServer::available() { return QFile::exists(kNginx); }

NginxServer::NginxServer() { QDir(mDir.path()).mkpath(QStringLiteral("www")); }

NginxServer::~NginxServer() {
    if (mPid > 0) {
        ::kill(mPid, SIGTERM);
        ::waitpid(mPid, nullptr, 0);
    }
}

QUrl NginxServer::url(const QString &path) const {
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(mPort).arg(path));
}

bool NginxServer::start(QString *error) {
    // The ports are found free by binding and closing, and another process may take one before
    // nginx binds it: nginx then ends (after its own retries), and the next attempt takes other
    // ports.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const Launch launched = launch();
        if (launched == Launch::Running) {
            return true;
        }
        if (launched == Launch::Failed) {
            break;
        }
    }
    if (error) {
        QFile log(mDir.filePath(QStringLiteral("error.log")));
        log.open(QIODevice::ReadOnly);
        *error = QString::fromUtf8(log.readAll());
    }
    return false;
}

NginxServer::Launch NginxServer::launch() {
    mPort = freeLoopbackPort();
    QString tls;
    if (!mTlsCertificate.isEmpty()) {
        mTlsPort = freeLoopbackPort();
        tls =
            QStringLiteral(
                "  server { listen 127.0.0.1:%1 ssl; ssl_certificate %2; ssl_certificate_key %3;\n"
                "    root %4/www; location /upload { return 200 \"received\\n\"; } }\n")
                .arg(mTlsPort)
                .arg(mTlsCertificate, mTlsKey, mDir.path());
    }
    const QString d = mDir.path();
    QFile conf(mDir.filePath(QStringLiteral("nginx.conf")));
    if (!conf.open(QIODevice::WriteOnly)) {
        return Launch::Failed;
    }
    conf.write(
        QStringLiteral(
            "daemon off; master_process off; worker_processes 1;\n"
            "pid %1/nginx.pid; error_log %1/error.log;\n"
            "events { worker_connections 64; }\n"
            "http { access_log off; client_body_temp_path %1/body; proxy_temp_path %1/proxy;\n"
            "  fastcgi_temp_path %1/fcgi; uwsgi_temp_path %1/uwsgi; scgi_temp_path %1/scgi;\n"
            "  server { listen 127.0.0.1:%2; root %1/www; client_max_body_size 100m;\n"
            "    location /upload { return 200 \"received\\n\"; }\n"
            "    location /private/ { auth_basic \"lab\"; auth_basic_user_file %1/htpasswd; }\n"
            "    location /cookie { add_header Set-Cookie \"flavour=oat; Path=/\"; return 200 "
            "\"cookie\\n\"; }\n"
            "    location /cookies-sent { return 200 \"$http_cookie\\n\"; }\n"
            "    location /connection { return 200 \"$server_port $connection\\n\"; }\n"
            "  }\n%3}\n")
            .arg(d)
            .arg(mPort)
            .arg(tls)
            .toUtf8());
    conf.close();
    QFile users(mDir.filePath(QStringLiteral("htpasswd")));
    if (users.open(QIODevice::WriteOnly)) {
        users.write("user:{SHA}nU4eI71bcnBGqeO0t9tXvY1u5oQ=\n");  // SHA-1 of "pass"
        users.close();
    }
    QDir(mDir.filePath(QStringLiteral("www"))).mkpath(QStringLiteral("private"));
    QFile secret(mDir.filePath(QStringLiteral("www/private/secret.txt")));
    if (secret.open(QIODevice::WriteOnly)) {
        secret.write("hidden\n");
        secret.close();
    }
    // A plain fork rather than QProcess: QProcess starts children with vfork semantics (the
    // child borrows our memory until exec), which ThreadSanitizer cannot see and which leaves
    // it with a corrupted picture of the calling thread: false races in later tests.
    const QByteArray program = QFile::encodeName(kNginx);
    const QByteArray prefix = QFile::encodeName(d);
    const QByteArray config = QFile::encodeName(conf.fileName());
    const QString logFile = mDir.filePath(QStringLiteral("error.log"));
    const QByteArray errorLog = QFile::encodeName(logFile);
    QFile::remove(logFile);  // what this attempt says, alone
    mPid = ::fork();
    if (mPid == 0) {
        ::execl(program.constData(), program.constData(), "-p", prefix.constData(), "-c",
                config.constData(), "-e", errorLog.constData(), static_cast<char *>(nullptr));
        ::_exit(127);
    }
    // nginx writes its pid file once it has bound its ports, so that a port another process
    // listens on is never taken for ours.
    const QString pidFile = mDir.filePath(QStringLiteral("nginx.pid"));
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000) {
        if (::waitpid(mPid, nullptr, WNOHANG) == mPid) {
            mPid = -1;
            QFile log(logFile);
            log.open(QIODevice::ReadOnly);
            return log.readAll().contains("Address already in use") ? Launch::PortTaken
                                                                    : Launch::Failed;
        }
        QFile pid(pidFile);
        if (pid.open(QIODevice::ReadOnly) && pid.readAll().trimmed().toInt() == mPid &&
            accepts(mPort) && (mTlsPort == 0 || accepts(mTlsPort))) {
            return Launch::Running;
        }
        QThread::msleep(10);
    }
    return Launch::Failed;  // the destructor stops what runs
}
