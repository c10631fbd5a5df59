#include "support/TestCertificates.h"

#include <QFile>
#include <QProcess>

TestCertificates::TestCertificates(const QString &hostName) : mHostName(hostName) {}

bool TestCertificates::make(QString *error) {
    const QString d = mDir.path();
    QFile extensions(mDir.filePath("server.ext"));
    if (!extensions.open(QIODevice::WriteOnly)) {
        return false;
    }
    extensions.write(("subjectAltName = DNS:" + mHostName + "\n").toUtf8());
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
