#pragma once

#include "prefs/PrefValue.h"

#include <array>
#include <optional>

// Every settings key of the application, with its type and first-run value. Keys are stored
// under exactly these case-sensitive names.
namespace SettingsKeys {

inline const QString HAS_INITIALIZED_1_2 = QStringLiteral("HAS_INITIALIZED_1_2");
inline const QString FILTER = QStringLiteral("FILTER");        // high-pass filter on
inline const QString DRAW_TIME = QStringLiteral("DRAW_TIME");  // time lines with clock labels
inline const QString REAL_TIME = QStringLiteral("REAL_TIME");  // redraw after every sample
inline const QString SCAN_RATE = QStringLiteral("SCAN_RATE");  // samples per second
inline const QString LOCATION_SEND = QStringLiteral("LOCATION_SEND");  // position in reports
inline const QString ALARM_LEVEL =
    QStringLiteral("ALARM_LEVEL");  // 1-based; threshold = level × 0.33
inline const QString MY_DEVICE_ID = QStringLiteral("MY_DEVICE_ID");  // name first in each datagram
inline const QString IP = QStringLiteral("IP");                      // stream receiver, dotted IPv4
inline const QString PORT = QStringLiteral("PORT");                  // stream receiver's UDP port
inline const QString NETWORK = QStringLiteral("NETWORK");      // live stream on; off at launch
inline const QString BROADCAST = QStringLiteral("BROADCAST");  // stream to 255.255.255.255
inline const QString URL = QStringLiteral("URL");              // report server address
inline const QString EMAIL = QStringLiteral("EMAIL");          // export recipient
inline const QString RUNNING_STATE =
    QStringLiteral("RUNNING_STATE");  // recording ran when a panel opened
inline const QString DONATE_HIDE = QStringLiteral("DONATE_HIDE");  // donation banner stays hidden
// Recording to a miniSEED archive; empty or 0: the default (see RecordingControl).
inline const QString RECORD = QStringLiteral("RECORD");                      // recording on
inline const QString RECORD_FOLDER = QStringLiteral("RECORD_FOLDER");        // the archive's folder
inline const QString RECORD_KEEP_DAYS = QStringLiteral("RECORD_KEEP_DAYS");  // 0: keep all
inline const QString STATION_NETWORK = QStringLiteral("STATION_NETWORK");    // "XX"
inline const QString STATION_CODE = QStringLiteral("STATION_CODE");  // from the device identifier
inline const QString STATION_LOCATION = QStringLiteral("STATION_LOCATION");  // "00"; "--": none
// Event detection (STA/LTA); 0: the default (see detection/DetectionSettings.h).
inline const QString DETECT_BAND_LOW = QStringLiteral("DETECT_BAND_LOW");    // Hz, 1
inline const QString DETECT_BAND_HIGH = QStringLiteral("DETECT_BAND_HIGH");  // Hz, 20
inline const QString DETECT_STA = QStringLiteral("DETECT_STA");              // s, 1
inline const QString DETECT_LTA = QStringLiteral("DETECT_LTA");              // s, 20
inline const QString DETECT_ON = QStringLiteral("DETECT_ON");                // ratio, 4
inline const QString DETECT_OFF = QStringLiteral("DETECT_OFF");              // ratio, 1.5
// s, 0.5
inline const QString DETECT_MIN_DURATION = QStringLiteral("DETECT_MIN_DURATION");
// A report to the URL server at each event's end, through the outbox; off unless set.
inline const QString REPORT_EVENTS = QStringLiteral("REPORT_EVENTS");

struct Key {
    const QString &name;
    PrefType type;
    std::optional<PrefValue> firstRun;  // none: the first read stores the zero value
};

// The whole table. The keys with a first-run value come first, in the order the first launch
// writes them.
inline const std::array<Key, 30> kAll = {{
    {FILTER, PrefType::Boolean, true},
    {DRAW_TIME, PrefType::Boolean, false},
    {REAL_TIME, PrefType::Boolean, true},
    {SCAN_RATE, PrefType::Integer, qint32(100)},
    {HAS_INITIALIZED_1_2, PrefType::Boolean, true},
    {LOCATION_SEND, PrefType::Boolean, true},
    {ALARM_LEVEL, PrefType::Integer, qint32(2)},
    {MY_DEVICE_ID, PrefType::String, QStringLiteral("1")},
    {IP, PrefType::String, QStringLiteral("10.0.2.1")},
    {PORT, PrefType::Integer, qint32(10552)},
    {NETWORK, PrefType::Boolean, std::nullopt},  // forced to false at every launch instead
    {BROADCAST, PrefType::Boolean, std::nullopt},
    {URL, PrefType::String, std::nullopt},
    {EMAIL, PrefType::String, std::nullopt},
    {RUNNING_STATE, PrefType::Boolean, std::nullopt},
    {DONATE_HIDE, PrefType::Boolean, std::nullopt},
    {RECORD, PrefType::Boolean, std::nullopt},
    {RECORD_FOLDER, PrefType::String, std::nullopt},
    {RECORD_KEEP_DAYS, PrefType::Integer, std::nullopt},
    {STATION_NETWORK, PrefType::String, std::nullopt},
    {STATION_CODE, PrefType::String, std::nullopt},
    {STATION_LOCATION, PrefType::String, std::nullopt},
    {DETECT_BAND_LOW, PrefType::Float, std::nullopt},
    {DETECT_BAND_HIGH, PrefType::Float, std::nullopt},
    {DETECT_STA, PrefType::Float, std::nullopt},
    {DETECT_LTA, PrefType::Float, std::nullopt},
    {DETECT_ON, PrefType::Float, std::nullopt},
    {DETECT_OFF, PrefType::Float, std::nullopt},
    {DETECT_MIN_DURATION, PrefType::Float, std::nullopt},
    {REPORT_EVENTS, PrefType::Boolean, std::nullopt},
}};

}  // namespace SettingsKeys
