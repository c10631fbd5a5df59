#include "support/TestCertificates.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {
// Runs openssl with `arguments`; true when it exits with 0, else its words in `error`. A plain
// fork rather than QProcess, for the reason NginxServer gives: ThreadSanitizer cannot follow
// QProcess's way of starting a child and reports false races in the tests after it.
bool runOpenssl(const QStringList &arguments, QString *error) {
    const QByteArray program = QFile::encodeName(QStandardPaths::findExecutable("openssl"));
    if (program.isEmpty()) {
        *error = QStringLiteral("openssl is not installed");
        return false;
    }
    std::vector<QByteArray> words = {program};
    for (const QString &argument : arguments) {
        words.push_back(argument.toLocal8Bit());
    }
    std::vector<char *> argv;
    for (QByteArray &word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        return false;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(output[1], STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    QByteArray said;
    char buffer[4096];
    for (ssize_t got; (got = ::read(output[0], buffer, sizeof buffer)) > 0;) {
        said.append(buffer, got);
    }
    ::close(output[0]);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        *error = QString::fromLocal8Bit(said);
        return false;
    }
    return true;
}
}  // namespace

TestCertificates::TestCertificates(const QString &hostName) : mHostName(hostName) {}

bool TestCertificates::make(QString *error) {
    const QString d = mDir.path();
    QFile extensions(mDir.filePath("server.ext"));
    if (!extensions.open(QIODevice::WriteOnly)) {
        return false;
    }
    // A numeric host is named by an IP entry: a DNS entry never matches an address.
    const bool address =
        QRegularExpression(QStringLiteral("^[0-9.]+$")).match(mHostName).hasMatch();
    extensions.write(
        ("subjectAltName = " + QString(address ? "IP:" : "DNS:") + mHostName + "\n").toUtf8());
    extensions.close();
    const QList<QStringList> steps = {
        {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
         "/CN=Shakelog test authority", "-keyout", d + "/ca.key", "-out", d + "/ca.pem"},
        {"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=" + mHostName, "-keyout",
         d + "/server.key", "-out", d + "/server.csr"},
        {"x509", "-req", "-in", d + "/server.csr", "-CA", d + "/ca.pem", "-CAkey", d + "/ca.key",
         "-CAcreateserial", "-days", "2", "-extfile", d + "/server.ext", "-out", d + "/server.pem"},
    };
    for (const QStringList &arguments : steps) {
        QString said;
        if (!runOpenssl(arguments, &said)) {
            if (error) {
                *error = said;
            }
            return false;
        }
    }
    return true;
}
