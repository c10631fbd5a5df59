#include "platform/PrintableText.h"

#include <QStringDecoder>

namespace {
QString printable(const QByteArray &bytes, bool keepLayout) {
    QString out;
    const auto escape = [&out](uchar byte) { out += QString::asprintf("\\x%02x", byte); };
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar lead = uchar(bytes[i]);
        if (lead < 0x80) {
            if ((lead < 0x20 && !(keepLayout && (lead == '\n' || lead == '\t'))) || lead == 0x7f) {
                escape(lead);
            } else {
                out += QLatin1Char(char(lead));
            }
            ++i;
            continue;
        }
        const qsizetype length = lead >= 0xc2 && lead < 0xe0   ? 2
                                 : lead >= 0xe0 && lead < 0xf0 ? 3
                                 : lead >= 0xf0 && lead < 0xf5 ? 4
                                                               : 0;
        QString decoded;
        if (length > 0 && i + length <= bytes.size()) {
            QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            decoded = decoder(bytes.mid(i, length));
            if (decoder.hasError()) {
                decoded.clear();  // overlong, a surrogate, a bad continuation byte
            }
        }
        // U+0080 to U+009F are control characters too.
        if (decoded.isEmpty() || (decoded.size() == 1 && decoded[0].unicode() < 0xa0)) {
            escape(lead);
            ++i;
            continue;
        }
        out += decoded;
        i += length;
    }
    return out;
}
}  // namespace

QString printableText(const QByteArray &bytes) { return printable(bytes, false); }

QString loggableText(const QByteArray &bytes, qsizetype limit) {
    QString out = printable(bytes.left(limit), true);
    if (bytes.size() > limit) {
        out += QStringLiteral("… (%1 more bytes)").arg(bytes.size() - limit);
    }
    return out;
}

QString withoutUserInfo(const QString &url) {
    const qsizetype scheme = url.indexOf(QLatin1String("://"));
    if (scheme < 0) {
        return url;
    }
    const qsizetype start = scheme + 3;
    qsizetype end = url.size();
    for (const QChar stop : {u'/', u'?', u'#'}) {
        const qsizetype at = url.indexOf(stop, start);
        if (at >= 0 && at < end) {
            end = at;
        }
    }
    const qsizetype at = url.lastIndexOf(u'@', end - 1);
    if (at < start) {
        return url;
    }
    return url.left(start) + QStringLiteral("***") + url.mid(at);
}
