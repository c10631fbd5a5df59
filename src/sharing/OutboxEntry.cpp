#include "sharing/OutboxEntry.h"

#include "platform/PrintableText.h"

#include <QCryptographicHash>
#include <QHash>
#include <QList>
#include <QRandomGenerator>

const QByteArray OutboxEntry::kFirstLine = QByteArrayLiteral("shakelog-outbox 1");
const QString OutboxEntry::kSuffix = QStringLiteral(".report");

namespace {
QByteArray timeText(const QDateTime &time) {
    return time.toUTC().toString(Qt::ISODateWithMs).toLatin1();
}

QByteArray checksum(const QByteArray &body) {
    return QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex();
}

// A header value holds no line break: one from outside would end the header early.
bool isOneLine(const QByteArray &text) {
    return std::none_of(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r'; });
}
}  // namespace

QString OutboxEntry::makeId(const QDateTime &created, const QString &previous) {
    constexpr qsizetype kOrderLength = 24;  // "20261208T102145120Z-0000"
    QString order = created.toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmsszzz'Z'")) +
                    QStringLiteral("-0000");
    const QString before = previous.left(kOrderLength);
    if (before.size() == kOrderLength && before >= order) {
        order = before.left(kOrderLength - 4) +
                QStringLiteral("%1").arg(before.right(4).toInt() + 1, 4, 10, QLatin1Char('0'));
    }
    return order + QLatin1Char('-') +
           QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16,
                                    QLatin1Char('0'));
}

bool OutboxEntry::isSendable(const QUrl &url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

QByteArray OutboxEntry::toBytes() const {
    QByteArray reason = lastReason.toUtf8();
    reason.replace('\n', ' ');  // would end the field early
    QByteArray bytes = kFirstLine + '\n';
    bytes += "created " + timeText(created) + '\n';
    bytes += "attempts " + QByteArray::number(attempts) + '\n';
    bytes += "next " + timeText(nextTry) + '\n';
    if (!reason.isEmpty()) {
        bytes += "last " + reason + '\n';
    }
    bytes += "url " + url.toEncoded() + '\n';
    bytes += "type " + contentType + '\n';
    bytes += "length " + QByteArray::number(body.size()) + '\n';
    bytes += "sha256 " + checksum(body) + "\n\n";
    return bytes + body;
}

std::optional<OutboxEntry> OutboxEntry::parse(const QString &id, const QByteArray &bytes,
                                              QString *error) {
    const auto fail = [error](const QString &reason) -> std::optional<OutboxEntry> {
        if (error) {
            *error = reason;
        }
        return std::nullopt;
    };
    if (!bytes.startsWith(kFirstLine + '\n')) {
        return fail(QStringLiteral("not an outbox report"));
    }
    const qsizetype headerEnd = bytes.indexOf("\n\n");
    if (headerEnd < 0) {
        return fail(QStringLiteral("its header has no end"));
    }
    QHash<QByteArray, QByteArray> fields;
    const QList<QByteArray> lines = bytes.left(headerEnd).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype blank = lines[i].indexOf(' ');
        const QByteArray name = blank < 0 ? lines[i] : lines[i].left(blank);
        if (fields.contains(name)) {
            return fail(QStringLiteral("the field \"%1\" comes twice").arg(printableText(name)));
        }
        fields.insert(name, blank < 0 ? QByteArray() : lines[i].mid(blank + 1));
    }
    for (const char *name : {"created", "attempts", "next", "url", "type", "length", "sha256"}) {
        if (!fields.contains(name)) {
            return fail(QStringLiteral("the field \"%1\" is missing").arg(QLatin1String(name)));
        }
    }

    OutboxEntry entry;
    entry.id = id;
    entry.created =
        QDateTime::fromString(QString::fromLatin1(fields["created"]), Qt::ISODateWithMs);
    entry.nextTry = QDateTime::fromString(QString::fromLatin1(fields["next"]), Qt::ISODateWithMs);
    if (!entry.created.isValid() || !entry.nextTry.isValid()) {
        return fail(QStringLiteral("a time that is not one"));
    }
    bool ok = false;
    entry.attempts = fields["attempts"].toInt(&ok);
    if (!ok || entry.attempts < 0) {
        return fail(QStringLiteral("a count of attempts that is not one"));
    }
    const qint64 length = fields["length"].toLongLong(&ok);
    entry.body = bytes.mid(headerEnd + 2);
    if (!ok || length != entry.body.size()) {
        return fail(QStringLiteral("its body has %1 bytes of %2 announced")
                        .arg(entry.body.size())
                        .arg(printableText(fields["length"])));
    }
    if (checksum(entry.body) != fields["sha256"]) {
        return fail(QStringLiteral("its body does not match its checksum"));
    }
    entry.url = QUrl::fromEncoded(fields["url"], QUrl::StrictMode);
    if (!isSendable(entry.url)) {
        return fail(QStringLiteral("its URL is no http or https URL"));
    }
    entry.contentType = fields["type"];
    if (!isOneLine(entry.contentType)) {
        return fail(QStringLiteral("its content type is not one line"));
    }
    entry.lastReason = QString::fromUtf8(fields.value("last"));
    entry.created = entry.created.toUTC();
    entry.nextTry = entry.nextTry.toUTC();
    return entry;
}
