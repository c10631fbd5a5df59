#pragma once

#include <QString>

// Texts of wall-clock dates (seconds since 1970 UTC), in the local time zone.
namespace DateText {

// "HH:mm:ss", as the time lines of the waveform are labelled.
QString clockTime(double secondsSinceEpoch);

}  // namespace DateText
