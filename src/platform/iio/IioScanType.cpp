#include "platform/iio/IioScanType.h"

#include "platform/PrintableText.h"

#include <QRegularExpression>

std::optional<IioScanType> IioScanType::parse(const QByteArray &text, QString *error) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^(be|le):([su])(\d+)/(\d+)(?:X(\d+))?(?:>>(\d+))?$)"));
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(text.trimmed()));
    if (!match.hasMatch()) {
        *error = QStringLiteral("'%1' is not a scan type such as le:s16/16>>0")
                     .arg(printableText(text.trimmed()));
        return std::nullopt;
    }
    IioScanType type;
    type.bigEndian = match.captured(1) == QLatin1String("be");
    type.isSigned = match.captured(2) == QLatin1String("s");
    type.bits = match.captured(3).toUInt();
    type.storageBits = match.captured(4).toUInt();
    type.repeat = match.captured(5).isEmpty() ? 1 : match.captured(5).toUInt();
    type.shift = match.captured(6).toUInt();
    const unsigned storage = type.storageBits;
    if ((storage != 8 && storage != 16 && storage != 32 && storage != 64) || type.bits == 0 ||
        type.bits > storage || type.shift > storage - type.bits || type.repeat == 0 ||
        type.repeat > 64) {
        *error = QStringLiteral(
                     "'%1' is not a usable scan type (bits, shift and storage do not "
                     "fit together)")
                     .arg(printableText(text.trimmed()));
        return std::nullopt;
    }
    return type;
}

int64_t IioScanType::decode(const uint8_t *bytes, unsigned index) const {
    const unsigned size = storageBytes();
    const uint8_t *word = bytes + size_t(index) * size;
    uint64_t value = 0;
    for (unsigned i = 0; i < size; ++i) {
        const unsigned byte = bigEndian ? i : size - 1 - i;
        value = (value << 8) | word[byte];
    }
    value >>= shift;
    if (bits < 64) {
        value &= (uint64_t(1) << bits) - 1;
        if (isSigned && (value >> (bits - 1)) != 0) {
            value |= ~uint64_t(0) << bits;  // sign extension
        }
    }
    return int64_t(value);
}
