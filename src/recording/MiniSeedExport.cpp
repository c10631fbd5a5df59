#include "recording/MiniSeedExport.h"

#include "core/SampleHistory.h"
#include "platform/WholeFile.h"
#include "recording/MiniSeedChannel.h"

#include <QDateTime>

#include <cmath>

namespace MiniSeedExport {

QByteArray bytes(const Samples &samples, double rate, qint64 start, const SeedCodes &codes) {
    QByteArray file;
    if (samples.empty()) {
        return file;
    }
    const std::array<QString, 3> channels = channelCodes(rate);
    for (int axis = 0; axis < 3; ++axis) {
        MiniSeedChannel channel(codes, channels[axis], rate);
        channel.begin(start);
        for (const std::array<double, 3> &sample : samples) {
            channel.add(MiniSeedChannel::counts(sample[size_t(axis)]));
        }
        for (const MiniSeedRecord &record : channel.take(true)) {
            file += record.bytes;
        }
    }
    return file;
}

QByteArray bytes(const SampleHistory &history, const SeedCodes &codes) {
    // Slots never filled hold zeros on every axis: the samples start after them.
    int first = 0;
    while (first < int(SampleHistory::kSize) && history.getHistory(first, 0) == 0 &&
           history.getHistory(first, 1) == 0 && history.getHistory(first, 2) == 0) {
        ++first;
    }
    const int count = int(SampleHistory::kSize) - first;
    if (count == 0) {
        return {};
    }
    const double rate = history.frequency() > 0 ? double(history.frequency()) : 1.0;
    const SampleHistory::Date &date = history.getTimestamp(first);
    const double start =
        date ? *date : double(QDateTime::currentMSecsSinceEpoch()) / 1000.0 - double(count) / rate;
    Samples samples;
    samples.reserve(size_t(count));
    for (int offset = first; offset < int(SampleHistory::kSize); ++offset) {
        samples.push_back({history.getHistory(offset, 0), history.getHistory(offset, 1),
                           history.getHistory(offset, 2)});
    }
    return bytes(samples, rate, std::llround(start * 1e6), codes);
}

bool write(const SampleHistory &history, const SeedCodes &codes, const QString &path,
           QString *error) {
    const QByteArray file = bytes(history, codes);
    if (file.isEmpty()) {
        *error = QStringLiteral("there are no samples yet");
        return false;
    }
    return writeWholeFile(path, file, error);
}

}  // namespace MiniSeedExport
