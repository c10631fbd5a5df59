#pragma once

#include <QByteArray>
#include <QString>

// Bytes from a file or the network as they may appear in a message on a terminal: valid UTF-8
// text stays as it is, control characters and bytes that are not UTF-8 become "\xNN", so a
// stray escape sequence cannot restyle or rewrite the user's terminal.
QString printableText(const QByteArray &bytes);
