#pragma once

#include "recording/SeedCodes.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <vector>

class SampleHistory;

namespace MiniSeedExport {

// Samples in g in the application's convention (x, y, z), oldest first.
using Samples = std::vector<std::array<double, 3>>;

// `samples` as one miniSEED file of three channels (counts of micro-g in the archive's sign
// convention), evenly spaced at `rate` (> 0) from `start` (microseconds since 1970, UTC).
// Empty without samples.
QByteArray bytes(const Samples &samples, double rate, qint64 start, const SeedCodes &codes);

// The sample history as one miniSEED file of three channels, the samples as shown (counts of
// micro-g in the archive's sign convention), evenly spaced at the history's rate from the time
// of its oldest sample (or, when that has no time, from as long before now as the samples
// take).
QByteArray bytes(const SampleHistory &history, const SeedCodes &codes);
// Writes it to `path` whole or not at all; false with `error` saying why.
bool write(const SampleHistory &history, const SeedCodes &codes, const QString &path,
           QString *error);

}  // namespace MiniSeedExport
