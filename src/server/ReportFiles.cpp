#include "server/ReportFiles.h"

#include "recording/MiniSeedExport.h"

namespace ReportFiles {

SeedCodes seedCodes(const QString &deviceId) {
    SeedCodes codes;
    codes.station = SeedCodes::stationFromDeviceIdentifier(deviceId);
    return codes;
}

QDateTime signalStart(const ReportView &report) {
    return report.triggerStart.value_or(report.receivedAt);
}

QByteArray signalMiniSeed(const ReportSignal &signal, const ReportView &report) {
    if (signal.empty() || report.sampling <= 0) {
        return {};
    }
    MiniSeedExport::Samples samples;
    samples.reserve(signal.size());
    for (const std::array<float, 3> &sample : signal) {
        samples.push_back({double(sample[0]), double(sample[1]), double(sample[2])});
    }
    const qint64 start = signalStart(report).toMSecsSinceEpoch() * 1000;
    return MiniSeedExport::bytes(samples, double(report.sampling), start,
                                 seedCodes(report.deviceId));
}

}  // namespace ReportFiles
