#pragma once

#include <QString>

// Texts of wall-clock dates (seconds since 1970 UTC), in the local time zone.
namespace DateText {

// "HH:mm:ss", as the time lines of the waveform are labelled.
QString clockTime(double secondsSinceEpoch);

// The default text of a date: "2010-05-13 10:21:45 +0900" (24-hour clock, the local zone's
// offset from UTC as a sign and four digits).
QString defaultText(double secondsSinceEpoch);

}  // namespace DateText
