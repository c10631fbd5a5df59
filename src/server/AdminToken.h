#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The token that allows deleting reports, read once from --admin-token-file.
class AdminToken {
public:
    // The token of `path` (its first line, without surrounding blanks); nullopt with `error`
    // set when the file cannot be read or holds no token.
    static std::optional<AdminToken> load(const QString &path, QString *error);

    // Whether an Authorization header value is "Bearer TOKEN" with this token. Compares in
    // time that does not depend on where the texts differ, nor on the length sent.
    bool authorizes(const QByteArray &authorization) const;

private:
    explicit AdminToken(QByteArray digest) : mDigest(std::move(digest)) {}
    QByteArray mDigest;  // SHA-256 of the token: equal lengths whatever was sent
};
