#include "sharing/ShareText.h"

#include "core/DateText.h"
#include "core/SampleHistory.h"
#include "platform/CFormat.h"
#include "platform/UrlEscape.h"
#include "platform/WholeFile.h"


#include <limits>

namespace ShareText {
namespace {

// Calls `line(x, y, z, offset)` for every slot worth sending, oldest first.
template <typename Line>
void forEachSample(const SampleHistory &history, Line line) {
    for (int offset = 0; offset < int(SampleHistory::kSize); ++offset) {
        const float x = float(history.getHistory(offset, 0));
        const float y = float(history.getHistory(offset, 1));
        const float z = float(history.getHistory(offset, 2));
        if (x == 0.0f && y == 0.0f && z == 0.0f) {
            continue;
        }
        line(x, y, z, offset);
    }
}

}  // namespace

QString csvLines(const SampleHistory &history) {
    QString text;
    forEachSample(history, [&](float x, float y, float z, int offset) {
        const SampleHistory::Date &date = history.getTimestamp(offset);
        text += cFormat("%f,%f,%f,", double(x), double(y), double(z));
        if (date) {
            text += DateText::defaultText(*date);
        }
        text += QLatin1Char('\n');
    });
    return text;
}

QString signalLines(const SampleHistory &history) {
    QString text;
    forEachSample(history, [&](float x, float y, float z, int) {
        text += cFormat("%f,%f,%f\n", double(x), double(y), double(z));
    });
    return text;
}

QString mailURL(const QString &recipient, const QString &subject, const QString &body) {
    return QStringLiteral("mailto:%1?subject=%2&body=%3")
        .arg(recipient, escapeURL(subject), escapeURL(body));
}

bool writeCSV(const SampleHistory &history, const QString &path, QString *error) {
    return writeWholeFile(path, csvLines(history).toUtf8(), error);
}

qint32 integerValue(const QString &text) {
    int i = 0;
    while (i < text.size() && text[i].isSpace()) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    constexpr qint64 kLimit = qint64(std::numeric_limits<qint32>::max()) + 1;
    qint64 magnitude = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i) {
        magnitude = std::min(magnitude * 10 + (text[i].unicode() - '0'), kLimit);
    }
    const qint64 value = negative ? -magnitude : magnitude;
    return qint32(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}

}  // namespace ShareText
