#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include <optional>

// One report waiting in the outbox, and the file that holds it (ID.report): a few lines of
// text, an empty line, then the request body exactly as it goes over the wire.
//
//   shakelog-outbox 1
//   created 2026-12-08T10:21:45.120Z
//   attempts 3
//   next 2026-12-08T10:28:45.120Z
//   last The server answered with status 503; the data was not accepted.
//   url http://127.0.0.1:8080/report?device_id=...&action=add
//   type multipart/form-data; boundary=0xKhTmLbOuNdArY
//   length 61234
//   sha256 <64 hex digits of the body's SHA-256>
//
//   <length bytes of body>
//
// Each field once, in any order; "last" may be missing, unknown fields are skipped.
struct OutboxEntry {
    QString id;              // the file's name without ".report" (see makeId)
    QUrl url;                // as sent: query fields and user information included
    QByteArray contentType;  // the Content-Type field's value
    QByteArray body;         // the request body, byte for byte
    QDateTime created;       // UTC: when it was submitted
    int attempts = 0;        // attempts made that failed
    QDateTime nextTry;       // UTC: due once the clock reaches it
    QString lastReason;      // why the last attempt failed; empty before the first

    static const QByteArray kFirstLine;  // "shakelog-outbox 1"
    static const QString kSuffix;        // ".report"

    // "20261208T102145120Z-0000-3f9a2c1b": the creation time, a count within its millisecond
    // and a random tag, which tells apart reports of two programs. An id made after `previous`
    // sorts after it, also when the clock was set back meanwhile: sorted by name, one
    // program's files are in the order submitted.
    static QString makeId(const QDateTime &created, const QString &previous = {});

    // An http or https URL with a host: what the outbox takes, and all a file may send to (an
    // edited file cannot make it read or write anything but a web server).
    static bool isSendable(const QUrl &url);

    QString fileName() const { return id + kSuffix; }
    QByteArray toBytes() const;
    // The entry a file holds, its id given by the file's name; none, with the reason in
    // `error`, for anything that is not such a file whole (torn, altered, foreign).
    static std::optional<OutboxEntry> parse(const QString &id, const QByteArray &bytes,
                                            QString *error);
};
