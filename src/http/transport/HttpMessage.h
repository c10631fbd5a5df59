#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QUrl>

#include <optional>

// An HTTP/1.1 request message: method, URL, header fields and body.
struct HttpMessage {
    QByteArray method;
    QUrl url;
    QByteArray version = QByteArrayLiteral("HTTP/1.1");
    QList<QPair<QByteArray, QByteArray>> headerFields;  // in the order they were set
    QByteArray body;

    // None when method and URL do not make a request: an empty method or one with spaces,
    // or a URL that is not an absolute http or https URL with a host.
    static std::optional<HttpMessage> createRequest(const QByteArray &method, const QUrl &url);

    // Sets a field, replacing an earlier one of the same name (names compare without case).
    void setHeaderFieldValue(const QByteArray &name, const QByteArray &value);
    // False when a field's name is not a token or a value holds a line break (CR, LF or NUL):
    // such a field would write lines of its own into the message.
    bool headerFieldsAreSafe() const;
};

// The response message as received so far.
struct HttpResponseHeader {
    bool complete = false;  // the blank line after the header fields has arrived
    int statusCode = 0;
    // Header fields by name as the server wrote it; repeated fields joined with ", ".
    QMap<QString, QString> fields;
    // Every field in the order received, each on its own (a repeated Set-Cookie stays apart).
    QList<QPair<QString, QString>> fieldList;

    // Takes one line of the header as received (its line break included or not): a status line
    // starts over (an interim 1xx response is replaced by the final one), a blank line
    // completes a final response's header, and "Name: value" adds a field. Anything else is
    // ignored.
    void addLine(const QByteArray &received);

    // The values of every field of that name; field names compare without case.
    QStringList values(const QString &name) const;
    // Those values joined with ", "; empty when there is none.
    QString value(const QString &name) const { return values(name).join(QStringLiteral(", ")); }
};
