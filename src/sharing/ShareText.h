#pragma once

#include <QString>

class SampleHistory;

// The texts that carry recorded samples off the device. Slots are read from the oldest (offset 0)
// to the newest (2047); a slot whose three values narrow to 0 in single precision was never
// written (or holds nothing worth sending) and is left out. Values are written as "%f" of the
// single-precision value.
namespace ShareText {

// The export: "x,y,z,date\n" per slot, the date in its default text form on the slots where a
// new second began, empty elsewhere. No header line.
QString csvLines(const SampleHistory &history);
// The report's "signal" field: "x,y,z\n" per slot.
QString signalLines(const SampleHistory &history);

// "mailto:RECIPIENT?subject=SUBJECT&body=BODY": the recipient as typed, subject and body
// escaped for a URL.
QString mailURL(const QString &recipient, const QString &subject, const QString &body);

// Writes the export to `path` atomically: either the whole file or the old one untouched. On
// failure `error` says why.
bool writeCSV(const SampleHistory &history, const QString &path, QString *error);

// An integer read as a person typed it: leading blanks, an optional sign, then digits up to
// the first other character. No digits give 0; beyond 32 bits gives the nearest limit.
qint32 integerValue(const QString &text);

}  // namespace ShareText
