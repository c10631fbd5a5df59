#pragma once

#include <QString>

// What the detector is tuned by (DETECT_* settings; see docs/detection.md). A value of 0, or a
// key not yet stored, means the default.
struct DetectionSettings {
    double bandLow = 1.0;          // Hz, the band-pass's lower corner
    double bandHigh = 20.0;        // Hz, its upper corner (capped below the Nyquist frequency)
    double sta = 1.0;              // s, short-term average
    double lta = 20.0;             // s, long-term average; no trigger during the first one
    double on = 4.0;               // STA/LTA ratio that starts an event
    double off = 1.5;              // ratio every axis stays below for the event to end...
    double minimumDuration = 0.5;  // ...for at least this long, s
    static constexpr double kLongest = 3600;  // s: no window or duration is longer

    // The stored settings, each checked: a value that is not a finite positive number, or does
    // not fit with its partner (STA shorter than LTA, off below on, the band's low corner below
    // its high one), is refused with one log line and the default used instead.
    static DetectionSettings fromSettings();

    bool operator==(const DetectionSettings &) const = default;
};
