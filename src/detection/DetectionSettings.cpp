#include "detection/DetectionSettings.h"

#include "platform/SystemLog.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"

#include <cmath>
#include <optional>

using namespace SettingsKeys;

namespace {
QString text(double value) { return QString::number(value, 'g', 6); }

// The stored value, or the default when it is missing, 0 or refused.
double read(const QString &key, double fallback, double lowest, double highest) {
    const std::optional<PrefValue> value = UserPref::storedValue(key);
    double number = 0;
    if (!value) {
        return fallback;
    } else if (const float *f = std::get_if<float>(&*value)) {
        number = *f;
    } else if (const qint32 *i = std::get_if<qint32>(&*value)) {
        number = *i;
    } else {
        SystemLog::log(QStringLiteral("Detection: %1 refused (not a number); using %2")
                           .arg(key, text(fallback)));
        return fallback;
    }
    if (number == 0) {
        return fallback;
    }
    if (!std::isfinite(number) || number <= lowest || number > highest) {
        SystemLog::log(QStringLiteral("Detection: %1 %2 refused (it must be above %3 and at most "
                                      "%4); using %5")
                           .arg(key, text(number), text(lowest), text(highest), text(fallback)));
        return fallback;
    }
    return number;
}

// A pair whose values do not fit together falls back to both defaults: which of the two the
// user meant to change cannot be told.
void checkPair(double &smaller, double &larger, const DetectionSettings &defaults,
               double DetectionSettings::*smallerField, double DetectionSettings::*largerField,
               const QString &smallerKey, const QString &largerKey) {
    if (smaller < larger) {
        return;
    }
    SystemLog::log(QStringLiteral("Detection: %1 %2 must be below %3 %4; using %5 and %6")
                       .arg(smallerKey, text(smaller), largerKey, text(larger),
                            text(defaults.*smallerField), text(defaults.*largerField)));
    smaller = defaults.*smallerField;
    larger = defaults.*largerField;
}
}  // namespace

DetectionSettings DetectionSettings::fromSettings() {
    const DetectionSettings defaults;
    DetectionSettings s;
    s.bandLow = read(DETECT_BAND_LOW, defaults.bandLow, 0, 1e6);
    s.bandHigh = read(DETECT_BAND_HIGH, defaults.bandHigh, 0, 1e6);
    s.sta = read(DETECT_STA, defaults.sta, 0, kLongest);
    s.lta = read(DETECT_LTA, defaults.lta, 0, kLongest);
    // A ratio of 1 is the noise itself: an event would start at once and never end.
    s.on = read(DETECT_ON, defaults.on, 1, 1e6);
    s.off = read(DETECT_OFF, defaults.off, 0, 1e6);
    s.minimumDuration = read(DETECT_MIN_DURATION, defaults.minimumDuration, 0, kLongest);
    checkPair(s.bandLow, s.bandHigh, defaults, &DetectionSettings::bandLow,
              &DetectionSettings::bandHigh, DETECT_BAND_LOW, DETECT_BAND_HIGH);
    checkPair(s.sta, s.lta, defaults, &DetectionSettings::sta, &DetectionSettings::lta, DETECT_STA,
              DETECT_LTA);
    checkPair(s.off, s.on, defaults, &DetectionSettings::off, &DetectionSettings::on, DETECT_OFF,
              DETECT_ON);
    return s;
}
