#include "core/DateText.h"

#include <QDateTime>

#include <cmath>

namespace DateText {

QString clockTime(double secondsSinceEpoch) {
    const auto msecs = qint64(std::floor(secondsSinceEpoch * 1000.0));
    return QDateTime::fromMSecsSinceEpoch(msecs).toLocalTime().toString(QStringLiteral("HH:mm:ss"));
}

}  // namespace DateText
