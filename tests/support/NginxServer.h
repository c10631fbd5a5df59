#pragma once

#include <QString>
#include <QTemporaryDir>
#include <QUrl>

#include <sys/types.h>

// nginx from Debian's packages, run in the foreground on 127.0.0.1 with a configuration of
// our own in a temporary folder: it serves the folder's www/, answers POST /upload with
// "received", guards /private/ with Basic authentication (user "user", password "pass") and
// sets a cookie at /cookie; /connection answers "PORT SERIAL", the serial number nginx gave
// the connection the request came on. Stopped when the object goes.
class NginxServer {
public:
    static bool available();

    NginxServer();
    ~NginxServer();

    // Also serves www/ (and POST /upload) over TLS on a second port with this certificate and
    // key (before start).
    void setTls(const QString &certificate, const QString &key) {
        mTlsCertificate = certificate;
        mTlsKey = key;
    }
    int tlsPort() const { return mTlsPort; }
    // False (with the reason in `error`) when nginx did not come up.
    bool start(QString *error = nullptr);
    QString wwwPath(const QString &name) const { return mDir.filePath("www/" + name); }
    QString scratchPath(const QString &name) const { return mDir.filePath(name); }
    QUrl url(const QString &path) const;

private:
    enum class Launch { Running, PortTaken, Failed };
    // One attempt at starting nginx on ports found free.
    Launch launch();

    QTemporaryDir mDir;
    pid_t mPid = -1;
    int mPort = 0;
    QString mTlsCertificate, mTlsKey;
    int mTlsPort = 0;
};
