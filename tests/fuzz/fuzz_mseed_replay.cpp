// miniSEED as the replay reads it. The input is one file, or, split at "@@@@", the files of a
// folder tree (one station's channels spread over an archive). A recording that is read plays
// finite samples, stretch after stretch in time order; every message is printable.
#include "FuzzCheck.h"
#include "platform/SystemLog.h"
#include "recording/MiniSeedRecording.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <libmseed.h>

#include <cmath>
#include <limits>

namespace {
void write(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

bool finite(const Acceleration &a) {
    // A 32-bit count of micro-g is at most 2148 g.
    return std::fabs(a.x) <= 2148 && std::fabs(a.y) <= 2148 && std::fabs(a.z) <= 2148;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static QTemporaryDir root;
    static const bool quiet = [] {
        SystemLog::setSink([](const QString &line) { FUZZ_CHECK(isPrintable(line)); });
        return true;
    }();
    (void)quiet;
    const QString folder = root.filePath(QStringLiteral("archive"));
    QDir(folder).removeRecursively();
    QDir().mkpath(folder + QStringLiteral("/sub"));

    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QList<QByteArray> contents;
    for (qsizetype from = 0;;) {
        const qsizetype marker = bytes.indexOf("@@@@", from);
        contents << bytes.mid(from, marker < 0 ? -1 : marker - from);
        if (marker < 0) {
            break;
        }
        from = marker + 4;
    }
    for (qsizetype k = 0; k < contents.size(); ++k) {
        write(QStringLiteral("%1/%2file%3")
                  .arg(folder, k % 2 ? QStringLiteral("sub/") : QString())
                  .arg(k),
              contents[k]);
    }
    const QString path = contents.size() == 1 ? folder + QStringLiteral("/file0") : folder;

    (void)MiniSeedRecording::looksLikeMiniSeed(path);
    QString error;
    const std::unique_ptr<MiniSeedRecording> recording = MiniSeedRecording::read(path, &error);
    FUZZ_CHECK(!recording != error.isEmpty());
    FUZZ_CHECK(isPrintable(error));
    if (!recording) {
        return 0;
    }
    FUZZ_CHECK(isPrintable(recording->station()));
    for (const QString &channel : recording->channels()) {
        FUZZ_CHECK(isPrintable(channel) && channel.size() == 3);
    }
    FUZZ_CHECK(!recording->stretches().empty());
    int64_t previousEnd = std::numeric_limits<int64_t>::min();
    for (const MiniSeedRecording::Stretch &stretch : recording->stretches()) {
        FUZZ_CHECK(stretch.count > 0);
        FUZZ_CHECK(stretch.rate >= MiniSeedRecording::kMinRate &&
                   stretch.rate <= MiniSeedRecording::kMaxRate);
        FUZZ_CHECK(stretch.start > previousEnd && stretch.end() >= stretch.start);
        previousEnd = stretch.end();
        for (const MiniSeedRecording::AxisSamples &axis : stretch.axes) {
            FUZZ_CHECK(axis.first >= 0 && axis.first + stretch.count <= axis.segment->numsamples);
        }
        for (int64_t k = 0; k < stretch.count; ++k) {
            FUZZ_CHECK(finite(MiniSeedRecording::acceleration(stretch, k)));
        }
    }
    return 0;
}
