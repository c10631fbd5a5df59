#include "http/CookieStorage.h"
#include "http/HttpRequest.h"
#include "support/Printers.h"
#include "support/ScriptedHttpServer.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace {

using Server = ScriptedHttpServer;

// A fresh shared storage in a folder of its own, and no session cookies yet.
class Cookies : public ::testing::Test {
protected:
    Cookies() {
        CookieStorage::useDirectory(dir.path());
        HttpRequest::setSessionCookies(std::nullopt);
    }
    ~Cookies() override {
        HttpRequest::setSessionCookies(std::nullopt);
        // Back to the storage every other test uses, without this test's cookies.
        CookieStorage::useDirectory(
            QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    }
    static void run(HttpRequest &request) {
        std::thread worker([&request] { request.main(); });
        worker.join();
    }
    QTemporaryDir dir;
};

TEST(CookieValueEncoding, EncodesAndDecodes) {
    EXPECT_EQ(encodedValue(QNetworkCookie("n", "a b")), "a%20b");
    EXPECT_EQ(encodedValue(QNetworkCookie("n", "x=1;y/z?")), "x=1;y/z?");  // reserved ones stay
    EXPECT_EQ(decodedValue(QNetworkCookie("n", "a%20b+c")), "a b c");
    EXPECT_EQ(decodedValue(QNetworkCookie("n", "1%2B1")), "1 1");  // decoded first, then + → space
}

TEST_F(Cookies, ReceivedCookiesAreStoredAndSentOnTheNextRequest) {
    Server first({Server::write(Server::response(200, "ok", "Set-Cookie: token=xyz; Path=/\r\n"))});
    HttpRequest a(QUrl(first.url()));
    run(a);
    ASSERT_TRUE(a.responseCookies());
    ASSERT_EQ(a.responseCookies()->size(), 1);
    EXPECT_EQ(a.responseCookies()->first().value(), "xyz");
    ASSERT_TRUE(HttpRequest::sessionCookies());
    EXPECT_EQ(HttpRequest::sessionCookies()->size(), 1);

    Server second({Server::write(Server::response(200, "ok", "Set-Cookie: other=1; Path=/\r\n"))});
    HttpRequest b(QUrl(second.url("/next")));
    b.setRequestCookies({QNetworkCookie("mine", "a b")});
    run(b);
    EXPECT_TRUE(second.request().contains("\r\nCookie: mine=a%20b; token=xyz\r\n"))
        << second.request().toStdString();
    // The session list is made once: the second response's cookie is stored but not added.
    EXPECT_EQ(HttpRequest::sessionCookies()->size(), 1);
    EXPECT_EQ(CookieStorage::shared().allCookies().size(), 2);

    HttpRequest::clearSession();  // forgets the session's cookies in the storage too
    EXPECT_FALSE(HttpRequest::sessionCookies());
    EXPECT_EQ(CookieStorage::shared().allCookies().size(), 1);
}

TEST_F(Cookies, EachSetCookieFieldIsACookieOfItsOwnWhateverItsLetterCase) {
    Server server({Server::write(Server::response(
        200, "ok", "Set-Cookie: a=1; Path=/\r\nset-cookie: b=2; Path=/\r\nSET-COOKIE: c=3\r\n"))});
    HttpRequest request(QUrl(server.url()));
    run(request);
    const std::optional<QList<QNetworkCookie>> cookies = request.responseCookies();
    ASSERT_TRUE(cookies);
    QStringList pairs;
    for (const QNetworkCookie &cookie : *cookies) {
        pairs << QString::fromUtf8(cookie.name() + "=" + cookie.value());
    }
    EXPECT_EQ(pairs, QStringList({"a=1", "b=2", "c=3"}));
}

TEST_F(Cookies, WithoutPersistenceNothingIsSentOrStored) {
    CookieStorage::shared().setCookies({QNetworkCookie("stored", "1")}, QUrl("http://127.0.0.1/"));
    Server server({Server::write(Server::response(200, "ok", "Set-Cookie: fresh=2\r\n"))});
    HttpRequest request(QUrl(server.url()));
    request.setUseCookiePersistence(false);
    run(request);
    EXPECT_FALSE(server.request().contains("Cookie:"));
    EXPECT_EQ(request.responseCookies()->size(), 1);
    EXPECT_EQ(CookieStorage::shared().allCookies().size(), 1);
    EXPECT_FALSE(HttpRequest::sessionCookies());
}

TEST_F(Cookies, OnlyCookiesWithAnExpiryOutliveTheProcess) {
    const QUrl url("http://127.0.0.1/");
    QNetworkCookie lasting("lasting", "1");
    lasting.setExpirationDate(QDateTime::currentDateTimeUtc().addDays(2));
    CookieStorage::shared().setCookies({lasting, QNetworkCookie("session", "2")}, url);
    CookieStorage::useDirectory(dir.path());  // a new process, as far as the storage knows
    const QList<QNetworkCookie> kept = CookieStorage::shared().cookiesForURL(url);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(kept.first().name(), "lasting");
    // Kept in a file only the user may read.
    EXPECT_EQ(
        QFile(dir.filePath("cookies.txt")).permissions() & ~(QFile::ReadUser | QFile::WriteUser),
        QFile::ReadOwner | QFile::WriteOwner);
}

}  // namespace
