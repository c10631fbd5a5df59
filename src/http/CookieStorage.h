#pragma once

#include <QList>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QString>
#include <QUrl>

#include <mutex>

// The shared cookie storage of the HTTP client: domain and path matching as Qt's cookie jar
// does it, safe to use from the requests' threads. Cookies with an expiry date are kept in
// cookies.txt in the application's data folder (replaced atomically at every change); session
// cookies live in memory only.
class CookieStorage : public QNetworkCookieJar {
public:
    static CookieStorage &shared();
    // Tests and a different data folder: the storage starts over from the file in `directory`.
    static void useDirectory(const QString &directory);

    QList<QNetworkCookie> cookiesForURL(const QUrl &url) const;
    void setCookies(const QList<QNetworkCookie> &cookies, const QUrl &url);
    void removeCookie(const QNetworkCookie &cookie);
    QList<QNetworkCookie> allCookies() const;

private:
    explicit CookieStorage(const QString &directory);
    void load();
    void save() const;

    QString mFilePath;
    mutable std::recursive_mutex mLock;
};

// The cookie value as sent ("a b" → "a%20b") and as meant ("a%20b+c" → "a b c").
QString encodedValue(const QNetworkCookie &cookie);
QString decodedValue(const QNetworkCookie &cookie);
