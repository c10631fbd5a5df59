#pragma once

#include "recording/SeedCodes.h"
#include "server/ServerViews.h"

#include <QByteArray>

// The downloads of a report: its signal as CSV and as miniSEED.
namespace ReportFiles {

// signal.csv: the header line "x,y,z", then one line per sample as the application sends it
// ("0.012000,-0.988000,0.500000"), numbers in the C locale.
QByteArray signalCsv(const ReportSignal &signal);

// The codes a report's samples are filed under: network XX, the station code the application
// itself derives from the device identifier, location 00.
SeedCodes seedCodes(const QString &deviceId);

// When the report's signal starts as far as the server knows: the trigger's start when a
// trigger sent it, otherwise when the report was received. A report carries no time of its
// first sample, so this is an approximation.
QDateTime signalStart(const ReportView &report);

// signal.mseed: the three channels of the application's recordings (HN1, HN2, HNZ at 100/s),
// Steim-2 records of counts of micro-g, from signalStart at the report's rate. Empty without
// samples or without a positive rate.
QByteArray signalMiniSeed(const ReportSignal &signal, const ReportView &report);

}  // namespace ReportFiles
