#include "support/TestCertificates.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

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
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), arguments);
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
            if (error) {
                *error = QString::fromUtf8(openssl.readAllStandardError());
            }
            return false;
        }
    }
    return true;
}
