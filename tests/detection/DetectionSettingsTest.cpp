// The DETECT_* settings as the detector reads them: defaults for what is not set, and every
// value that cannot work refused with a line saying so.
#include "detection/DetectionSettings.h"
#include "prefs/PreferenceStore.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "support/LogCapture.h"
#include "support/TempConfig.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace SettingsKeys;

DetectionSettings tuned(const std::function<void(DetectionSettings &)> &change) {
    DetectionSettings settings;
    change(settings);
    return settings;
}

TEST(DetectionSettings, BadValuesAreRefusedAndTheDefaultsUsed) {
    using S = DetectionSettings;
    const struct {
        QList<std::pair<QString, PrefValue>> stored;
        DetectionSettings expected;
        QString line;  // empty: none
    } cases[] = {
        {{}, S(), {}},
        {{{DETECT_STA, 0.5f}, {DETECT_LTA, 30.0f}},
         tuned([](S &s) {
             s.sta = 0.5;
             s.lta = 30;
         }),
         {}},
        {{{DETECT_BAND_LOW, 0.5f}, {DETECT_BAND_HIGH, 10.0f}},
         tuned([](S &s) {
             s.bandLow = 0.5;
             s.bandHigh = 10;
         }),
         {}},
        {{{DETECT_ON, 3.0f}, {DETECT_OFF, 2.0f}, {DETECT_MIN_DURATION, 2.0f}},
         tuned([](S &s) {
             s.on = 3;
             s.off = 2;
             s.minimumDuration = 2;
         }),
         {}},
        {{{DETECT_LTA, qint32(30)}}, tuned([](S &s) { s.lta = 30; }), {}},  // as JSON may have it
        {{{DETECT_ON, QStringLiteral("5")}},
         S(),
         "Detection: DETECT_ON refused (not a number); using 4"},
        {{{DETECT_STA, -1.0f}},
         S(),
         "Detection: DETECT_STA -1 refused (it must be above 0 and at most 3600); using 1"},
        {{{DETECT_LTA, 1e9f}},
         S(),
         "Detection: DETECT_LTA 1e+09 refused (it must be above 0 and at most 3600); using 20"},
        {{{DETECT_ON, 0.9f}},
         S(),
         "Detection: DETECT_ON 0.9 refused (it must be above 1 and at most 1e+06); using 4"},
        {{{DETECT_STA, 30.0f}},
         S(),
         "Detection: DETECT_STA 30 must be below DETECT_LTA 20; using 1 and 20"},
        {{{DETECT_OFF, 5.0f}},
         S(),
         "Detection: DETECT_OFF 5 must be below DETECT_ON 4; using 1.5 and 4"},
        {{{DETECT_BAND_LOW, 25.0f}},
         S(),
         "Detection: DETECT_BAND_LOW 25 must be below DETECT_BAND_HIGH 20; using 1 and 20"},
    };
    for (const auto &c : cases) {
        TempConfig config;
        for (const auto &[key, value] : c.stored) {
            UserPref::setValue(key, value);
        }
        LogCapture capture;
        EXPECT_EQ(DetectionSettings::fromSettings(), c.expected) << c.line.toStdString();
        EXPECT_EQ(capture.lines(), c.line.isEmpty() ? QStringList() : QStringList{c.line});
        if (c.stored.isEmpty()) {
            // Read, not stored: the first launch writes only the first-run values.
            EXPECT_FALSE(UserPref::persistentStore().copyAppValue(DETECT_STA));
        }
    }
}

}  // namespace
