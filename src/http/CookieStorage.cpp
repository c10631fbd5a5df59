#include "http/CookieStorage.h"

#include "platform/SystemLog.h"
#include "platform/UrlEscape.h"
#include "platform/WholeFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <memory>

namespace {
std::unique_ptr<CookieStorage> storage;
std::mutex storageLock;

QString defaultDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}
}  // namespace

CookieStorage &CookieStorage::shared() {
    std::lock_guard lock(storageLock);
    if (!storage) {
        storage.reset(new CookieStorage(defaultDirectory()));
    }
    return *storage;
}

void CookieStorage::useDirectory(const QString &directory) {
    std::lock_guard lock(storageLock);
    storage.reset(new CookieStorage(directory));
}

CookieStorage::CookieStorage(const QString &directory)
    : mFilePath(QDir(directory).filePath(QStringLiteral("cookies.txt"))) {
    load();
}

QList<QNetworkCookie> CookieStorage::cookiesForURL(const QUrl &url) const {
    std::lock_guard lock(mLock);
    return QNetworkCookieJar::cookiesForUrl(url);
}

void CookieStorage::setCookies(const QList<QNetworkCookie> &cookies, const QUrl &url) {
    std::lock_guard lock(mLock);
    // Qt checks each cookie's domain and path against the URL it came from.
    if (QNetworkCookieJar::setCookiesFromUrl(cookies, url)) {
        save();
    }
}

void CookieStorage::removeCookie(const QNetworkCookie &cookie) {
    std::lock_guard lock(mLock);
    if (QNetworkCookieJar::deleteCookie(cookie)) {
        save();
    }
}

QList<QNetworkCookie> CookieStorage::allCookies() const {
    std::lock_guard lock(mLock);
    return QNetworkCookieJar::allCookies();
}

void CookieStorage::load() {
    QFile file(mFilePath);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    QList<QNetworkCookie> cookies;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QByteArray &line : file.readAll().split('\n')) {
        for (const QNetworkCookie &cookie : QNetworkCookie::parseCookies(line)) {
            if (!cookie.isSessionCookie() && cookie.expirationDate() > now) {
                cookies.append(cookie);
            }
        }
    }
    setAllCookies(cookies);
}

void CookieStorage::save() const {
    QByteArray bytes;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QNetworkCookie &cookie : QNetworkCookieJar::allCookies()) {
        if (!cookie.isSessionCookie() && cookie.expirationDate() > now) {
            bytes += cookie.toRawForm(QNetworkCookie::Full) + '\n';
        }
    }
    QDir().mkpath(QFileInfo(mFilePath).path());
    // Cookies hold sessions: the file is the user's alone, before anything is in it.
    QString error;
    if (!writeWholeFile(mFilePath, bytes, &error,
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        SystemLog::log(QStringLiteral("Could not save cookies to %1: %2").arg(mFilePath, error));
    }
}

QString encodedValue(const QNetworkCookie &cookie) {
    return escapeURL(QString::fromUtf8(cookie.value()));
}

QString decodedValue(const QNetworkCookie &cookie) {
    return QUrl::fromPercentEncoding(cookie.value()).replace(QLatin1Char('+'), QLatin1Char(' '));
}
