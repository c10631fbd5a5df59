#include "server/AdminToken.h"

#include <QCryptographicHash>
#include <QFile>

namespace {
QByteArray digest(const QByteArray &text) {
    return QCryptographicHash::hash(text, QCryptographicHash::Sha256);
}
}  // namespace

std::optional<AdminToken> AdminToken::load(const QString &path, QString *error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("cannot read the admin token file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray token = file.readLine(4096).trimmed();
    if (token.isEmpty()) {
        *error = QStringLiteral("the admin token file %1 holds no token").arg(path);
        return std::nullopt;
    }
    return AdminToken(digest(token));
}

bool AdminToken::authorizes(const QByteArray &authorization) const {
    static const QByteArray kScheme = "Bearer ";
    const QByteArray sent = digest(
        authorization.startsWith(kScheme) ? authorization.mid(kScheme.size()) : QByteArray());
    unsigned char difference = authorization.startsWith(kScheme) ? 0 : 1;
    for (qsizetype i = 0; i < mDigest.size(); ++i) {
        difference |= static_cast<unsigned char>(mDigest[i] ^ sent[i]);
    }
    return difference == 0;
}
