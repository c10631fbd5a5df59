#pragma once

#include <QByteArray>
#include <QString>

// Percent-escaping for URLs, mail bodies and cookie values: letters, digits, the unreserved
// marks -_.!~*'() and the reserved characters ;/?:@&=+$, pass unchanged; every other byte of
// the UTF-8 text becomes %XX with upper-case hex digits.
QString escapeURL(const QString &text);
