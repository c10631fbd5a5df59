#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <optional>
#include <vector>

// What the collection server shows of its stored reports and events: plain values that the
// storage fills and the pages, plots and files read. Strings that came from a device are as
// the device sent them, unescaped: whoever writes them into a page escapes them.

// A report's signal: one x, y, z sample (g) per signal line, oldest first; at most 2048.
using ReportSignal = std::vector<std::array<float, 3>>;

// One stored report.
struct ReportView {
    qint64 id = 0;
    QString deviceId;                       // from the device: any text
    double lat = 0, lon = 0, alt = 0;       // degrees, degrees, metres; zeros without a position
    int sampling = 0;                       // samples per second
    QString version;                        // from the device: any text
    QString localDatetime;                  // the device's local date and time, as sent
    bool earthquake = false;                // the user reported an earthquake
    QString trigger;                        // the trigger that sent it ("stalta"); empty: the user
    std::optional<QDateTime> triggerStart;  // the triggering event's start
    std::optional<double> pga;              // peak ground acceleration, g
    QDateTime receivedAt;                   // when the server took it
    int samples = 0;                        // signal lines
};

// One event: reports from several devices close in time and place.
struct EventView {
    qint64 id = 0;
    QDateTime time;
    double lat = 0, lon = 0;  // centroid, degrees
    int devices = 0;
    std::optional<double> largestPga;  // g
    std::vector<qint64> reportIds;
};
