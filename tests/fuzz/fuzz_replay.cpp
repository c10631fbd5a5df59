// Recordings as the replay reads them, whole and line by line, in both line forms.
#include "FuzzCheck.h"
#include "core/ReplaySource.h"
#include "core/SampleLine.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray &line : bytes.split('\n')) {
        SampleLine::Values values;
        if (SampleLine::parse(line, &values)) {
            FUZZ_CHECK(std::isfinite(values.x) && std::isfinite(values.y) &&
                       std::isfinite(values.z));
        }
    }
    QString error;
    const std::vector<ReplaySource::Sample> samples =
        ReplaySource::parse(bytes, QStringLiteral("fuzz.csv"), &error);
    FUZZ_CHECK(samples.empty() != error.isEmpty());
    FUZZ_CHECK(isPrintable(error));
    for (const ReplaySource::Sample &sample : samples) {
        FUZZ_CHECK(std::isfinite(sample.x) && std::isfinite(sample.y) && std::isfinite(sample.z));
    }
    return 0;
}
