#include "core/DateText.h"

#include <QDateTime>

#include <cmath>

namespace DateText {

namespace {
QDateTime localDate(double secondsSinceEpoch) {
    const auto msecs = qint64(std::floor(secondsSinceEpoch * 1000.0));
    return QDateTime::fromMSecsSinceEpoch(msecs).toLocalTime();
}
}  // namespace

QString clockTime(double secondsSinceEpoch) {
    return localDate(secondsSinceEpoch).toString(QStringLiteral("HH:mm:ss"));
}

QString defaultText(double secondsSinceEpoch) {
    const QDateTime date = localDate(secondsSinceEpoch);
    const int offsetMinutes = date.offsetFromUtc() / 60;
    const int magnitude = std::abs(offsetMinutes);
    return date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss ")) +
           QString::asprintf("%c%02d%02d", offsetMinutes < 0 ? '-' : '+', magnitude / 60,
                             magnitude % 60);
}

}  // namespace DateText
