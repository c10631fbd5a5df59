#pragma once

#include "server/ServerViews.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>
#include <string>
#include <variant>

// One report as the application uploads it (see docs/sharing.md): who, where, how fast and
// when from the query fields, the samples from the form field "signal".
struct ReportRecord {
    QString deviceId;
    double lat = 0, lon = 0, alt = 0;
    int sampling = 0;
    QString version;
    QString localDateTime;  // "yyyy-MM-dd HH:mm:ss", the device's own clock and zone, as sent
    bool earthquake = false;
    // Sent by an event trigger: "stalta", its start (UTC, milliseconds) and the peak in g.
    // All empty for a report the user sent.
    QString trigger;
    QString triggerStart;
    std::optional<double> pga;
    QByteArray signal;
    QString signalSha256;  // hex; with the device and date it tells a report sent again
    int samples = 0;
};

// Why a report was not taken: `label` names the reason in the metrics, `message` is the one
// line the sender reads.
struct Refusal {
    QByteArray label;
    QString message;
};

// Reads and checks a report whole before anything is stored, so that a refusal stores nothing.
// Fields this server does not know are ignored: a newer application may send more.
class ReportSubmission {
public:
    using Query = std::multimap<std::string, std::string>;  // decoded, as the server parsed it

    static constexpr int kMinSampling = 1;
    static constexpr int kMaxSampling = 10000;
    static constexpr int kMaxTextLength = 128;

    // `signal` is null when the form had no field "signal".
    static std::variant<ReportRecord, Refusal> read(const Query &query, const QByteArray *signal);

    // The samples of the lines "x,y,z\n", read as the application reads its own sample lines
    // (each number a finite float); none when a line is anything else.
    static std::optional<ReportSignal> readSignal(const QByteArray &signal);
};
