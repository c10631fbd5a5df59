// A server's response header as libcurl hands it over line by line: the status line, header
// fields, authentication challenges and cookies, and the cookie file they end up in.
#include "FuzzCheck.h"
#include "http/CookieStorage.h"
#include "http/HttpAuthentication.h"
#include "http/transport/HttpMessage.h"

#include <QCoreApplication>
#include <QTemporaryDir>

namespace {
const QUrl kUrl(QStringLiteral("http://user@127.0.0.1:8080/report?a=1"));

QTemporaryDir &cookieDirectory() {
    static QTemporaryDir directory;
    return directory;
}

void checkChallenge(const HttpResponseHeader &header) {
    const std::shared_ptr<HttpAuthentication> challenge =
        HttpAuthentication::createFromResponse(header);
    if (!challenge) {
        return;
    }
    std::optional<HttpMessage> message = HttpMessage::createRequest("POST", kUrl);
    FUZZ_CHECK(message.has_value());
    if (challenge->applyCredentials(*message,
                                    {QStringLiteral("user"), QStringLiteral("pa:ss"), {}})) {
        // Whatever the server wrote into its challenge, the answer is one header line.
        FUZZ_CHECK(message->headerFieldsAreSafe());
    }
    challenge->responseReceived(header);
}

void checkCookies(const HttpResponseHeader &header) {
    QList<QNetworkCookie> cookies;
    for (const QString &field : header.values(QStringLiteral("Set-Cookie"))) {
        for (QNetworkCookie cookie : QNetworkCookie::parseCookies(field.toUtf8())) {
            cookie.normalize(kUrl);
            decodedValue(cookie);
            cookies << cookie;
        }
    }
    if (cookies.isEmpty()) {
        return;
    }
    CookieStorage::useDirectory(cookieDirectory().path());
    CookieStorage::shared().setCookies(cookies, kUrl);
    const QList<QNetworkCookie> kept = CookieStorage::shared().allCookies();
    // What was saved reads back: the persistent cookies survive a restart as they were.
    CookieStorage::useDirectory(cookieDirectory().path());
    const QList<QNetworkCookie> reread = CookieStorage::shared().allCookies();
    FUZZ_CHECK(reread.size() <= kept.size());
    // (A cookie that expires while this runs may be gone.)
    const QDateTime later = QDateTime::currentDateTimeUtc().addSecs(60);
    for (const QNetworkCookie &cookie : kept) {
        if (cookie.isSessionCookie() || cookie.expirationDate() < later) {
            continue;
        }
        FUZZ_CHECK(std::any_of(reread.begin(), reread.end(), [&](const QNetworkCookie &other) {
            return other.hasSameIdentifier(cookie) && other.value() == cookie.value();
        }));
    }
    QFile::remove(cookieDirectory().filePath(QStringLiteral("cookies.txt")));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_http_response";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);

    HttpResponseHeader header;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray &line : bytes.split('\n')) {
        header.addLine(line + '\n');
    }
    FUZZ_CHECK(!header.complete || header.statusCode >= 200);
    for (const auto &[name, value] : header.fieldList) {
        FUZZ_CHECK(!name.isEmpty() && !name.contains(QLatin1Char('\n')));
        FUZZ_CHECK(header.values(name).contains(value));
    }
    checkChallenge(header);
    checkCookies(header);
    return 0;
}
