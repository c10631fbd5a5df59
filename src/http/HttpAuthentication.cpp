#include "http/HttpAuthentication.h"

#include <QCryptographicHash>
#include <QMap>
#include <QRandomGenerator>

namespace {
struct Challenge {
    QString scheme;
    QMap<QString, QString> parameters;  // names in lower case
};

// Challenges of a WWW-Authenticate value: scheme tokens, each followed by name=value or
// name="quoted value" parameters separated by commas.
QList<Challenge> parseChallenges(const QString &text) {
    QList<Challenge> challenges;
    qsizetype i = 0;
    const auto skip = [&] {
        while (i < text.size() && (text[i].isSpace() || text[i] == QLatin1Char(','))) {
            ++i;
        }
    };
    const auto token = [&] {
        const qsizetype start = i;
        while (i < text.size() && !text[i].isSpace() && text[i] != QLatin1Char(',') &&
               text[i] != QLatin1Char('=')) {
            ++i;
        }
        return text.mid(start, i - start);
    };
    while (true) {
        skip();
        if (i >= text.size()) {
            break;
        }
        const QString word = token();
        if (i < text.size() && text[i] == QLatin1Char('=') && !challenges.isEmpty()) {
            ++i;  // a parameter of the current challenge
            QString value;
            if (i < text.size() && text[i] == QLatin1Char('"')) {
                ++i;
                while (i < text.size() && text[i] != QLatin1Char('"')) {
                    if (text[i] == QLatin1Char('\\') && i + 1 < text.size()) {
                        ++i;
                    }
                    value += text[i++];
                }
                ++i;
            } else {
                value = token();
            }
            challenges.last().parameters.insert(word.toLower(), value);
        } else {
            challenges.append({word, {}});
        }
    }
    return challenges;
}

QByteArray md5Hex(const QByteArray &text) {
    return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
}
}  // namespace

std::shared_ptr<HttpAuthentication> HttpAuthentication::createFromResponse(
    const HttpResponseHeader &response) {
    const QString field = response.value(QStringLiteral("WWW-Authenticate"));
    std::optional<Challenge> basic, digest;
    for (const Challenge &challenge : parseChallenges(field)) {
        const QString scheme = challenge.scheme.toLower();
        if (scheme == QLatin1String("digest") && !digest &&
            challenge.parameters.contains(QStringLiteral("nonce")) &&
            challenge.parameters.value(QStringLiteral("algorithm"), QStringLiteral("MD5"))
                    .compare(QLatin1String("MD5"), Qt::CaseInsensitive) == 0) {
            const QStringList qop =
                challenge.parameters.value(QStringLiteral("qop")).split(QLatin1Char(','));
            if (challenge.parameters.contains(QStringLiteral("qop")) &&
                !qop.contains(QStringLiteral("auth"), Qt::CaseInsensitive)) {
                continue;  // only qop "auth" is answered
            }
            digest = challenge;
        } else if (scheme == QLatin1String("basic") && !basic) {
            basic = challenge;
        }
    }
    if (!digest && !basic) {
        return nullptr;
    }
    auto authentication = std::make_shared<HttpAuthentication>();
    const Challenge &chosen = digest ? *digest : *basic;  // the stronger one when offered both
    authentication->mScheme = digest ? Digest : Basic;
    authentication->mRealm = chosen.parameters.value(QStringLiteral("realm"));
    authentication->mNonce = chosen.parameters.value(QStringLiteral("nonce"));
    authentication->mOpaque = chosen.parameters.value(QStringLiteral("opaque"));
    authentication->mQopAuth = chosen.parameters.contains(QStringLiteral("qop"));
    return authentication;
}

bool HttpAuthentication::isValid(int *errorCode) const {
    std::lock_guard lock(mMutex);
    if (mRejected && errorCode) {
        *errorCode = kRejectedPassword;
    }
    return !mRejected;
}

void HttpAuthentication::responseReceived(const HttpResponseHeader &response) {
    const auto fresh = createFromResponse(response);
    std::lock_guard lock(mMutex);
    if (!mApplied) {
        return;
    }
    if (fresh && fresh->mScheme == Digest && mScheme == Digest &&
        response.value(QStringLiteral("WWW-Authenticate"))
            .contains(QStringLiteral("stale=true"), Qt::CaseInsensitive)) {
        mNonce = fresh->mNonce;  // the credentials were fine; the nonce had expired
        mNonceCount = 0;
        return;
    }
    mRejected = true;
}

void HttpAuthentication::setClientNonce(const QByteArray &clientNonce) {
    std::lock_guard lock(mMutex);
    mClientNonce = clientNonce;
}

bool HttpAuthentication::applyCredentials(HttpMessage &message,
                                          const HttpCredentials &credentials) {
    if (credentials.username.isEmpty() && credentials.password.isEmpty()) {
        return false;
    }
    QByteArray value;
    if (mScheme == Basic) {
        value =
            "Basic " +
            (credentials.username + QLatin1Char(':') + credentials.password).toUtf8().toBase64();
    } else {
        std::lock_guard lock(mMutex);
        const QByteArray uri = message.url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority |
                                                     QUrl::RemoveFragment);
        const QByteArray path = uri.isEmpty() ? QByteArray("/") : uri;
        const QByteArray ha1 = md5Hex((credentials.username + QLatin1Char(':') + mRealm +
                                       QLatin1Char(':') + credentials.password)
                                          .toUtf8());
        const QByteArray ha2 = md5Hex(message.method + ':' + path);
        const auto quoted = [](const QString &text) {
            QString escaped = text;
            escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
                .replace(QLatin1Char('"'), QStringLiteral("\\\""));
            return '"' + escaped.toUtf8() + '"';
        };
        value = "Digest username=" + quoted(credentials.username) + ", realm=" + quoted(mRealm) +
                ", nonce=" + quoted(mNonce) + ", uri=" + quoted(QString::fromUtf8(path));
        if (mQopAuth) {
            const QByteArray nc = QByteArray::number(++mNonceCount, 16).rightJustified(8, '0');
            const QByteArray cnonce =
                mClientNonce.isEmpty()
                    ? QByteArray::number(QRandomGenerator::global()->generate64(), 16)
                    : mClientNonce;
            value +=
                ", qop=auth, nc=" + nc + ", cnonce=\"" + cnonce + "\", response=\"" +
                md5Hex(ha1 + ':' + mNonce.toUtf8() + ':' + nc + ':' + cnonce + ":auth:" + ha2) +
                '"';
        } else {
            value += ", response=\"" + md5Hex(ha1 + ':' + mNonce.toUtf8() + ':' + ha2) + '"';
        }
        if (!mOpaque.isEmpty()) {
            value += ", opaque=" + quoted(mOpaque);
        }
        value += ", algorithm=MD5";
    }
    // The answer echoes the server's realm and nonce and the user's name: one with a line
    // break or NUL in it cannot be sent.
    if (value.contains('\r') || value.contains('\n') || value.contains('\0')) {
        return false;
    }
    message.setHeaderFieldValue("Authorization", value);
    std::lock_guard lock(mMutex);
    mApplied = true;
    return true;
}
