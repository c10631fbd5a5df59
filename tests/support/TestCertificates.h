#pragma once

#include <QString>
#include <QTemporaryDir>

// A certificate authority of the test's own and a server certificate it signed for one host
// name (or IPv4 address), made by the openssl command line in a temporary folder.
class TestCertificates {
public:
    explicit TestCertificates(const QString &hostName);

    // False (with openssl's words in `error`) when they could not be made.
    bool make(QString *error);
    QString authority() const { return mDir.filePath("ca.pem"); }  // the CA certificate
    QString certificate() const { return mDir.filePath("server.pem"); }
    QString key() const { return mDir.filePath("server.key"); }

private:
    QTemporaryDir mDir;
    QString mHostName;
};
