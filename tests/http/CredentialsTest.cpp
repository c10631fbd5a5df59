#include "http/HttpRequest.h"
#include "http/CredentialStore.h"
#include "support/EventLoop.h"
#include "support/Printers.h"
#include "support/ScriptedHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>

namespace {

using Server = ScriptedHttpServer;
using Scripts = std::vector<std::vector<Server::Step>>;  // one per request

const QByteArray kOk = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
QByteArray challenge(const QByteArray &value) {
    return "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: " + value +
           "\r\nContent-Length: 0\r\n\r\n";
}

// Answers a request for credentials by setting them and retrying, or stays silent.
class Asker : public QObject {
    Q_OBJECT
public:
    bool answer = true;
    QString user = "ask";
    QString password = "ed";
    int retries = 1;  // calls of retryWithAuthentication per answer
    int asked = 0;
    int failed = 0;
    int finished = 0;
public slots:
    void authorizationNeededForRequest(HttpRequest *request) {
        ++asked;
        if (answer) {
            request->setUsername(user);
            request->setPassword(password);
            for (int i = 0; i < retries; ++i) {
                request->retryWithAuthentication();
            }
        }
    }
    void requestFinished(HttpRequest *) { ++finished; }
    void requestFailed(HttpRequest *) { ++failed; }
};

// A delegate that only hears how requests end.
class Listener : public QObject {
    Q_OBJECT
public:
    int failed = 0;
    int finished = 0;
public slots:
    void requestFinished(HttpRequest *) { ++finished; }
    void requestFailed(HttpRequest *) { ++failed; }
};

class Credentials : public ::testing::Test {
protected:
    // Saved credentials stay in this test's own memory, never in the desktop's keychain (the
    // keychain itself is tested under a service of its own, in a private keyring).
    Credentials() {
        HttpRequest::clearSession();
        CredentialStore::setShared(&mSaved);
    }
    ~Credentials() override {
        CredentialStore::setShared(nullptr);
        HttpRequest::clearSession();
    }
    // Runs on a worker thread while the main thread delivers the callbacks.
    static void run(HttpRequest &request, const std::function<void()> &whileRunning = {}) {
        std::thread worker([&request] { request.main(); });
        if (whileRunning) {
            whileRunning();
        }
        pumpUntil([&] { return request.isFinished(); });
        worker.join();
        QCoreApplication::processEvents();
    }
    static QByteArray authorization(const QByteArray &request) {
        const QRegularExpression field("\r\nAuthorization: ([^\r]*)\r\n");
        return field.match(QString::fromLatin1(request)).captured(1).toLatin1();
    }

private:
    CredentialStore mSaved;
};

TEST_F(Credentials, BasicIsAnsweredWithTheRequestsOwnCredentials) {
    // The next request runs on another thread and so on a connection of its own.
    Server server(Scripts{{Server::write(challenge("Basic realm=\"lab\""))},
                          {Server::write(kOk), Server::close()},
                          {Server::write(kOk)}});
    HttpRequest request(QUrl(server.url("/data")));
    request.setUsername("user");
    request.setPassword("pass");
    run(request);
    EXPECT_EQ(request.error(), nullptr);
    EXPECT_EQ(request.responseStatusCode(), 200);
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(authorization(server.requests()[0]), "");
    EXPECT_EQ(authorization(server.requests()[1]), "Basic " + QByteArray("user:pass").toBase64());
    ASSERT_TRUE(request.requestCredentials());
    EXPECT_EQ(request.requestCredentials()->username, "user");
    EXPECT_EQ(request.authenticationRealm(), "lab");

    // The session remembers them for the same server from the first attempt on ...
    HttpRequest next(QUrl(server.url("/more")));
    run(next);
    ASSERT_EQ(server.requests().size(), 3);
    EXPECT_EQ(authorization(server.requests()[2]), "Basic " + QByteArray("user:pass").toBase64());
    // ... and never sends them to another server.
    Server other(Scripts{{Server::write(kOk)}});
    HttpRequest elsewhere(QUrl(other.url()));
    run(elsewhere);
    EXPECT_EQ(authorization(other.request()), "");
}

TEST_F(Credentials, TheUrlsOwnCredentialsWin) {
    Server server(Scripts{{Server::write(challenge("Basic realm=\"lab\""))}, {Server::write(kOk)}});
    QUrl url(server.url());
    url.setUserName("fromurl");
    url.setPassword("secret");
    HttpRequest request(url);
    request.setUsername("user");
    request.setPassword("pass");
    run(request);
    ASSERT_EQ(server.requests().size(), 2);
    // Only in answer to the challenge: the first request carries no password at all.
    EXPECT_EQ(authorization(server.requests()[0]), "");
    EXPECT_FALSE(server.requests()[0].contains("secret"));
    EXPECT_EQ(authorization(server.requests()[1]),
              "Basic " + QByteArray("fromurl:secret").toBase64());
}

TEST_F(Credentials, AChallengeIsReadWhateverTheLetterCaseOfItsField) {
    for (const QByteArray field : {"www-authenticate", "Www-Authenticate", "WWW-AUTHENTICATE"}) {
        Server server(Scripts{{Server::write("HTTP/1.1 401 Unauthorized\r\n" + field +
                                             ": Basic realm=\"lab\"\r\nContent-Length: 0\r\n\r\n")},
                              {Server::write(kOk)}});
        HttpRequest request(QUrl(server.url()));
        request.setUsername("user");
        request.setPassword("pass");
        run(request);
        EXPECT_EQ(request.responseStatusCode(), 200) << field.constData();
        EXPECT_EQ(request.authenticationRealm(), "lab");
    }
}

TEST_F(Credentials, DigestAnswersAsThePublishedExample) {
    // RFC 2617, section 3.5, with the example's client nonce.
    const char *kChallenge = "Digest realm=\"testrealm@host.com\", qop=\"auth,auth-int\", "
                             "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
                             "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\"";
    HttpResponseHeader response;
    response.complete = true;
    response.statusCode = 401;
    response.fieldList = {{"WWW-Authenticate", kChallenge}};
    response.fields.insert("WWW-Authenticate", kChallenge);
    const auto digest = HttpAuthentication::createFromResponse(response);
    ASSERT_TRUE(digest);
    digest->setClientNonce("0a4f113b");
    auto message = HttpMessage::createRequest("GET", QUrl("http://www.nowhere.org/dir/index.html"));
    ASSERT_TRUE(message);
    ASSERT_TRUE(digest->applyCredentials(*message, {"Mufasa", "Circle Of Life", {}}));
    EXPECT_EQ(message->headerFields.value(0).second,
              "Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
              "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", uri=\"/dir/index.html\", qop=auth, "
              "nc=00000001, cnonce=\"0a4f113b\", response=\"6629fae49393a05397450978507c4ef1\", "
              "opaque=\"5ccc069c403ebaf9f0171e9517f40e41\", algorithm=MD5");
}

TEST_F(Credentials, AnAnswerThatWouldBreakItsHeaderLineIsNotMade) {
    // A server's realm or nonce, or a user name, with a line break or NUL in it is echoed by
    // Digest: no Authorization is made (and no credentials kept), the request ends as an
    // authentication failure.
    struct Case {
        QByteArray challenge;
        QString user;
    } cases[] = {{"Digest realm=\"a\rb\", nonce=\"n\"", "user"},
                 {QByteArray("Digest realm=\"lab\", nonce=\"n") + '\0' + "x\"", "user"},
                 {"Digest realm=\"lab\", nonce=\"n\"", "us\ner"}};
    for (const Case &c : cases) {
        HttpResponseHeader response;
        for (const QByteArray &line :
             {QByteArray("HTTP/1.1 401 X"), "WWW-Authenticate: " + c.challenge, QByteArray()}) {
            response.addLine(line + "\r\n");
        }
        const auto digest = HttpAuthentication::createFromResponse(response);
        ASSERT_TRUE(digest);
        auto message = HttpMessage::createRequest("GET", QUrl("http://127.0.0.1/"));
        EXPECT_FALSE(digest->applyCredentials(*message, {c.user, "pass", {}}))
            << c.challenge.constData();
        EXPECT_TRUE(message->headerFields.isEmpty());
    }
}

TEST_F(Credentials, ARequestAnswersADigestChallengeOnItsOwnUri) {
    Server server(Scripts{
        {Server::write(challenge("Digest realm=\"testrealm@host.com\", qop=\"auth\", "
                                 "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\""))},
        {Server::write(kOk)}});
    HttpRequest request(QUrl(server.url("/dir/index.html")));
    request.setUsername("Mufasa");
    request.setPassword("Circle Of Life");
    run(request);
    ASSERT_EQ(request.responseStatusCode(), 200);
    const QByteArray sent = authorization(server.requests()[1]);
    EXPECT_TRUE(sent.startsWith("Digest username=\"Mufasa\", realm=\"testrealm@host.com\", "
                                "nonce=\"dcd98b7102dd2f0e8b11d0f600bfb0c093\", "
                                "uri=\"/dir/index.html\", qop=auth, nc=00000001, cnonce=\""))
        << sent.constData();
}

TEST_F(Credentials, DigestIsChosenOverBasicWhenBothAreOffered) {
    const QByteArray basic = "Basic realm=\"lab\"";
    const QByteArray digest = "Digest realm=\"lab\", nonce=\"n1\", qop=\"auth\"";
    // In one field or in two, and Basic first: the password never goes out in the clear.
    for (const QByteArray &offer :
         {basic + ", " + digest, basic + "\r\nWWW-Authenticate: " + digest}) {
        Server server(Scripts{{Server::write(challenge(offer))}, {Server::write(kOk)}});
        HttpRequest request(QUrl(server.url()));
        request.setUsername("user");
        request.setPassword("pass");
        run(request);
        EXPECT_EQ(request.responseStatusCode(), 200);
        ASSERT_EQ(server.requests().size(), 2);
        EXPECT_TRUE(authorization(server.requests()[1]).startsWith("Digest username=\"user\""))
            << server.requests()[1].toStdString();
        EXPECT_FALSE(server.requests()[1].contains(QByteArray("user:pass").toBase64()));
    }
}

TEST_F(Credentials, ARequestStartedWithTheSessionsCredentialsAnswersAStaleNonceWithThem) {
    const QByteArray digest = "Digest realm=\"lab\", qop=\"auth\", nonce=";
    Server server(Scripts{{Server::write(challenge(digest + "\"n1\"")), Server::close()},
                          {Server::write(kOk), Server::close()},
                          {Server::write(challenge(digest + "\"n2\", stale=true")), Server::close()},
                          {Server::write(kOk), Server::close()}});
    HttpRequest first(QUrl(server.url("/a")));
    first.setUsername("user");
    first.setPassword("pass");
    run(first);
    ASSERT_EQ(first.responseStatusCode(), 200);
    HttpRequest second(QUrl(server.url("/b")));  // no credentials of its own
    run(second);
    EXPECT_EQ(second.responseStatusCode(), 200);
    EXPECT_EQ(second.error(), nullptr);
    ASSERT_EQ(server.requests().size(), 4);
    EXPECT_TRUE(authorization(server.requests()[2]).contains("nonce=\"n1\""));
    EXPECT_TRUE(authorization(server.requests()[3]).contains("nonce=\"n2\""));
}

TEST_F(Credentials, ARejectedPasswordWithNobodyToAskEndsWithCodeThreeAndNoCallback) {
    Server server(Scripts{{Server::write(challenge("Basic realm=\"lab\""))},
                          {Server::write(challenge("Basic realm=\"lab\""))}});
    HttpRequest request(QUrl(server.url()));
    request.setUsername("user");
    request.setPassword("wrong");
    Listener listener;  // would hear an end, but cannot be asked for credentials
    request.setDelegate(&listener);
    run(request);
    pumpUntil([] { return false; }, 100);  // what the request posted has been delivered
    // The error is recorded as it stands, without a failure callback.
    EXPECT_EQ(listener.failed + listener.finished, 0);
    ASSERT_NE(request.error(), nullptr);
    EXPECT_EQ(request.error()->code, 3);
    EXPECT_EQ(request.error()->localizedDescription, "Authentication needed");
    EXPECT_TRUE(request.isFinished());
    EXPECT_FALSE(request.requestCredentials());
}

TEST_F(Credentials, ARejectedPasswordAsksTheDelegate) {
    Server server(Scripts{{Server::write(challenge("Basic realm=\"lab\""))},
                          {Server::write(challenge("Basic realm=\"lab\""))},
                          {Server::write(kOk)}});
    HttpRequest request(QUrl(server.url()));
    request.setUsername("user");
    request.setPassword("wrong");
    Asker asker;  // answers with ask:ed
    request.setDelegate(&asker);
    run(request);
    EXPECT_EQ(asker.asked, 1);
    EXPECT_EQ(request.responseStatusCode(), 200);
    ASSERT_EQ(server.requests().size(), 3);
    EXPECT_EQ(authorization(server.requests()[1]), "Basic " + QByteArray("user:wrong").toBase64());
    EXPECT_EQ(authorization(server.requests()[2]), "Basic " + QByteArray("ask:ed").toBase64());
    EXPECT_EQ(request.requestCredentials()->username, "ask");
}

TEST_F(Credentials, TheDelegateIsAskedOnTheMainThreadAndItsAnswerIsUsed) {
    Server server(Scripts{{Server::write(challenge("Basic realm=\"lab\""))}, {Server::write(kOk)}});
    HttpRequest request(QUrl(server.url()));
    Asker asker;
    request.setDelegate(&asker);
    run(request);
    EXPECT_EQ(asker.asked, 1);
    EXPECT_EQ(request.responseStatusCode(), 200);
    EXPECT_EQ(authorization(server.requests()[1]), "Basic " + QByteArray("ask:ed").toBase64());
}

TEST_F(Credentials, AnIncompleteAnswerEndsWithCodeThreeInsteadOfAskingForEver) {
    const struct {
        const char *user;
        const char *password;
    } answers[] = {{"guest", ""}, {"", "secret"}, {"", ""}};
    for (const auto &answer : answers) {
        SCOPED_TRACE(std::string(answer.user) + ":" + answer.password);
        Server server(
            Scripts{{Server::write(challenge("Basic realm=\"lab\"")), Server::pause(30000)}});
        HttpRequest request(QUrl(server.url()));
        Asker asker;
        asker.user = answer.user;
        asker.password = answer.password;
        request.setDelegate(&asker);
        QElapsedTimer timer;
        timer.start();
        run(request);
        EXPECT_TRUE(request.isFinished());
        EXPECT_LT(timer.elapsed(), 8000);  // not the server's pause, nor the 10 s time-out
        EXPECT_EQ(asker.asked, 1);
        ASSERT_NE(request.error(), nullptr);
        EXPECT_EQ(request.error()->code, 3);
        EXPECT_EQ(asker.failed, 1);
        EXPECT_EQ(server.requests().size(), 1u);  // nothing went out with half an answer
    }
}

TEST_F(Credentials, RetryingTwiceNeverBlocksTheMainThread) {
    Server server(Scripts{{Server::write(challenge("Basic realm=\"lab\""))}, {Server::write(kOk)}});
    HttpRequest request(QUrl(server.url()));
    Asker asker;
    asker.retries = 2;  // the second call finds the answer given: it must return at once
    request.setDelegate(&asker);
    run(request);
    EXPECT_EQ(request.responseStatusCode(), 200);
    EXPECT_EQ(asker.asked, 1);
    request.retryWithAuthentication();  // after the end: ignored, returns
}

TEST_F(Credentials, ADelegateThatNeverAnswersDoesNotHoldTheRequestForEver) {
    {
        Server server(
            Scripts{{Server::write(challenge("Basic realm=\"lab\"")), Server::pause(30000)}});
        HttpRequest request(QUrl(server.url()));
        Asker silent;
        silent.answer = false;
        request.setDelegate(&silent);
        run(request, [&] {
            QElapsedTimer timer;
            timer.start();
            while (silent.asked == 0 && timer.elapsed() < 30000) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            request.cancel();
        });
        ASSERT_NE(request.error(), nullptr);
        EXPECT_EQ(request.error()->code, 4);
    }
    {
        Server server(
            Scripts{{Server::write(challenge("Basic realm=\"lab\"")), Server::pause(30000)}});
        HttpRequest request(QUrl(server.url()));
        request.setTimeOutSeconds(0.5);
        Asker silent;
        silent.answer = false;
        request.setDelegate(&silent);
        run(request);
        ASSERT_NE(request.error(), nullptr);
        EXPECT_EQ(request.error()->code, 2);
    }
}

TEST_F(Credentials, AChallengeWeCannotReadIsCodeSeven) {
    Server server(
        Scripts{{Server::write("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n")}});
    HttpRequest request(QUrl(server.url()));
    Asker asker;
    request.setDelegate(&asker);
    run(request);
    ASSERT_NE(request.error(), nullptr);
    EXPECT_EQ(request.error()->code, 7);
    EXPECT_EQ(request.error()->localizedDescription,
              "Failed to get authentication object from response headers");
    EXPECT_EQ(asker.failed, 1);
}

TEST_F(Credentials, SavedCredentialsAreFoundUnderTheEffectivePort) {
    Server server(
        Scripts{{Server::write(challenge("Basic realm=\"vault\""))}, {Server::write(kOk)}});
    const QUrl url(server.url());
    HttpRequest::saveCredentials({"saved", "pw"}, url.host(), url.port(), url.scheme(), "vault");
    struct Removal {  // however the test ends: the store outlives it
        QUrl url;
        ~Removal() {
            HttpRequest::removeCredentials(url.host(), url.port(), url.scheme(), "vault");
        }
    } removal{url};
    HttpRequest request(url);
    request.setUseKeychainPersistence(true);
    run(request);
    EXPECT_EQ(request.responseStatusCode(), 200);
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(authorization(server.requests()[1]), "Basic " + QByteArray("saved:pw").toBase64());
    EXPECT_TRUE(HttpRequest::savedCredentials("127.0.0.1", 80, "http", "vault") == std::nullopt);
    HttpRequest::removeCredentials(url.host(), url.port(), url.scheme(), "vault");
    EXPECT_FALSE(HttpRequest::savedCredentials(url.host(), url.port(), url.scheme(), "vault"));
}

}  // namespace

#include "CredentialsTest.moc"
