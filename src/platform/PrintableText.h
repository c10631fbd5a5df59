#pragma once

#include <QByteArray>
#include <QString>

// Bytes from a file or the network as they may appear in a message on a terminal: valid UTF-8
// text stays as it is, control characters and bytes that are not UTF-8 become "\xNN", so a
// stray escape sequence cannot restyle or rewrite the user's terminal.
QString printableText(const QByteArray &bytes);

// A server's answer or other outside text for the log: printable as above but for line feeds
// and tabs, which keep its layout, and at most `limit` bytes of it, the rest counted.
QString loggableText(const QByteArray &bytes, qsizetype limit = 4096);

// A URL as text with its user information (user name and password) hidden: "http://***@host/".
QString withoutUserInfo(const QString &url);
