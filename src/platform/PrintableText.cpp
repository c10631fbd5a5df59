#include "platform/PrintableText.h"

#include <QStringDecoder>

QString printableText(const QByteArray &bytes) {
    QString out;
    const auto escape = [&out](uchar byte) { out += QString::asprintf("\\x%02x", byte); };
    for (qsizetype i = 0; i < bytes.size();) {
        const uchar lead = uchar(bytes[i]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7f) {
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
