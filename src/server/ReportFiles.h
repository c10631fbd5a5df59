#pragma once

#include "recording/SeedCodes.h"
#include "server/ServerViews.h"

#include <QByteArray>

// A report's signal as a miniSEED download (signal.csv is the signal as it came).
namespace ReportFiles {

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
