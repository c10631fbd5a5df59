#pragma once

#include "recording/SeedCodes.h"

#include <QByteArray>
#include <QString>

class SampleHistory;

namespace MiniSeedExport {

// The sample history as one miniSEED file of three channels, the samples as shown (counts of
// micro-g in the archive's sign convention), evenly spaced at the history's rate from the time
// of its oldest sample (or, when that has no time, from as long before now as the samples
// take).
QByteArray bytes(const SampleHistory &history, const SeedCodes &codes);
// Writes it to `path` whole or not at all; false with `error` saying why.
bool write(const SampleHistory &history, const SeedCodes &codes, const QString &path,
           QString *error);

}  // namespace MiniSeedExport
