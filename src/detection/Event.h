#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// One detected event, as the log, the headless lines and the --on-event program see it.
struct Event {
    double start = 0;       // seconds since 1970, UTC: the sample that reached the on ratio
    double end = 0;         // the first sample of the quiet stretch that ended it
    double peakRatio = 0;   // largest STA/LTA ratio of any axis during the event
    double pga = 0;         // g: largest absolute high-passed sample of any axis (see below)
    int pgaAxis = 2;        // 0, 1, 2: x, y, z
    bool cutShort = false;  // the run ended (or the rate changed) before the shaking did
    QString archive;        // the miniSEED archive's folder while recording; else empty
    QString station;        // and its NET.STA.LOC codes

    double duration() const { return end - start; }
    double pgaCentimetresPerSecond2() const;
    // Modified Mercalli intensity estimated from PGA by Wald et al. (1999), kept to I-X.
    double intensity() const { return intensityFromPga(pgaCentimetresPerSecond2()); }
    static double intensityFromPga(double centimetresPerSecond2);
    // "I" to "X": the intensity rounded to the nearest whole degree.
    static QString romanNumeral(double intensity);
    static QChar axisName(int axis) { return QChar(u"xyz"[axis]); }
    // "2026-12-08T10:21:45.120Z"
    static QString utcText(double secondsSinceEpoch);

    // The headless lines, stable for scripts: "event start 2026-12-08T10:21:45.120Z" and
    // "event end 2026-12-08T10:21:49.320Z duration 4.2 s pga 0.0123 g axis z ratio 7.9".
    QString startLine() const;
    QString endLine() const;

    // The log's and the --on-event program's form (docs/detection.md).
    QJsonObject toJson() const;
    // One line of the log: the compact object and a newline.
    QByteArray jsonLine() const;
    // None unless `object` has a readable start, end, PGA and axis.
    static std::optional<Event> fromJson(const QJsonObject &object);
};
