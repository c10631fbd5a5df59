#include "platform/UrlEscape.h"

QString escapeURL(const QString &text) {
    static const QByteArray kPass = QByteArrayLiteral("-_.!~*'();/?:@&=+$,");
    const QByteArray bytes = text.toUtf8();
    QByteArray escaped;
    escaped.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
            kPass.contains(c)) {
            escaped.append(c);
        } else {
            static const char kHex[] = "0123456789ABCDEF";
            escaped.append('%').append(kHex[u >> 4]).append(kHex[u & 15]);
        }
    }
    return QString::fromLatin1(escaped);
}
