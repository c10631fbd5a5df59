#include "http/CookieStorage.h"
#include "http/HttpRequest.h"
#include "support/BuiltProgram.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/Printers.h"
#include "support/ScriptedHttpServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

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

TEST_F(Cookies, ACookieOfferedWithAChallengeIsNotTaken) {
    using Scripts = std::vector<std::vector<Server::Step>>;
    Server server(Scripts{
        {Server::write("HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"lab\"\r\n"
                       "Set-Cookie: trap=1; Path=/\r\nContent-Length: 0\r\n\r\n")},
        {Server::write(Server::response(200, "ok", "Set-Cookie: kept=2; Path=/\r\n"))}});
    HttpRequest request(QUrl(server.url()));
    request.setUsername("user");
    request.setPassword("pass");
    run(request);
    ASSERT_EQ(request.responseStatusCode(), 200);
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_FALSE(server.requests()[1].contains("trap"));  // not sent with the credentials
    QStringList stored;
    for (const QNetworkCookie &cookie : CookieStorage::shared().allCookies()) {
        stored << QString::fromUtf8(cookie.name());
    }
    EXPECT_EQ(stored, QStringList{"kept"});
    ASSERT_TRUE(HttpRequest::sessionCookies());
    EXPECT_EQ(HttpRequest::sessionCookies()->size(), 1);
    HttpRequest::clearSession();
}

TEST_F(Cookies, ACookieFileThatCannotBeWrittenCostsNeitherTheAnswerNorTheCookie) {
    // A folder that cannot be made, even by root: its parent is a file.
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString unwritable = dir.filePath("blocker/shakelog");
    CookieStorage::useDirectory(unwritable);
    LogCapture log;
    Server server({Server::write(
        Server::response(200, "ok", "Set-Cookie: lasting=1; Path=/; Max-Age=3600\r\n"))});
    HttpRequest request(QUrl(server.url()));
    run(request);
    EXPECT_EQ(request.error(), nullptr);
    EXPECT_EQ(request.dataString(), QString("ok"));
    ASSERT_EQ(log.lines().size(), 1) << log.lines().join(" | ").toStdString();
    EXPECT_TRUE(
        log.lines()[0].startsWith("Could not save cookies to " + unwritable + "/cookies.txt: "))
        << log.lines().join(" | ").toStdString();
    // Still kept for this run, and sent.
    Server next({Server::write(Server::response(200, "ok"))});
    HttpRequest again(QUrl(next.url()));
    run(again);
    EXPECT_TRUE(next.request().contains("\r\nCookie: lasting=1\r\n"))
        << next.request().toStdString();
    HttpRequest::clearSession();
}

TEST(CookieFile, KillingAWriterNeverLeavesAnUnreadableFile) {
    struct Restore {  // the storage every other test uses, however this one ends
        ~Restore() {
            CookieStorage::useDirectory(
                QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
        }
    } restore;
    for (int attempt = 0; attempt < 8; ++attempt) {
        QTemporaryDir dir;  // each writer starts from nothing
        const QString file = QDir(dir.path()).filePath("cookies.txt");
        QProcess writer;
        startBuiltProgram(writer, QStringLiteral(COOKIES_WRITER), {dir.path(), "100000"});
        ASSERT_TRUE(writer.waitForStarted());
        // Killed at a random moment once its first save landed, in the midst of the others.
        pumpUntil([&] { return QFileInfo(file).size() > 0; }, 30000);
        QThread::msleep(QRandomGenerator::global()->bounded(40));
        writer.kill();  // SIGKILL: no chance to finish a save
        writer.waitForFinished();
        CookieStorage::useDirectory(dir.path());
        int round = -1;
        qsizetype length = -1;
        for (const QNetworkCookie &cookie : CookieStorage::shared().allCookies()) {
            if (cookie.name() == "round") {
                round = cookie.value().toInt();
            } else if (cookie.name() == "text") {
                length = cookie.value().size();
            }
        }
        // Each save is whole: both cookies of one round.
        ASSERT_GT(round, 0) << "attempt " << attempt;
        EXPECT_EQ(length, (round % 97) * 40) << "attempt " << attempt << " round " << round;
    }
}

}  // namespace
