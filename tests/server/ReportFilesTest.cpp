#include "server/ReportFiles.h"
#include "support/MiniSeedArchive.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {

const ReportSignal kSignal = {{0.012f, -0.988f, 0.5f}, {-0.25f, 0.0f, -1.0f}, {1e-7f, 2.0f, 0.1f}};

// What libmseed reads back from the download.
MiniSeedArchive readBack(const QByteArray &bytes) {
    QTemporaryDir dir;
    const QString path = dir.filePath("signal.mseed");
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    return MiniSeedArchive(path);
}

TEST(ReportFiles, MiniSeedHoldsTheSamplesFromTheBestKnownStart) {
    const QDateTime received = QDateTime::fromString("2026-12-08T10:22:05.250Z", Qt::ISODateWithMs);
    const QDateTime triggered =
        QDateTime::fromString("2026-12-08T10:21:45.120Z", Qt::ISODateWithMs);
    struct Case {
        int sampling;
        std::optional<QDateTime> triggerStart;
        QDateTime start;
        const char *channels;  // band and instrument
    } cases[] = {
        {100, triggered, triggered, "HN"},
        {100, std::nullopt, received, "HN"},
        {50, std::nullopt, received, "BN"},
    };
    ReportSignal signal;
    for (int k = 0; k < 1500; ++k) {  // several records per channel
        signal.push_back({float(k) * 1e-4f, -float(k % 7) * 0.01f, -1.0f + float(k % 3) * 1e-3f});
    }
    for (const Case &c : cases) {
        ReportView report;
        report.deviceId = QStringLiteral("device <&> 1");
        report.sampling = c.sampling;
        report.triggerStart = c.triggerStart;
        report.receivedAt = received;
        const MiniSeedArchive archive = readBack(ReportFiles::signalMiniSeed(signal, report));
        ASSERT_TRUE(archive.problem.isEmpty()) << archive.problem.toStdString();
        EXPECT_EQ(archive.rate, double(c.sampling));
        const QString station =
            "XX." + SeedCodes::stationFromDeviceIdentifier(report.deviceId) + ".00.";
        ASSERT_EQ(archive.runs.size(), 3u);
        for (int axis = 0; axis < 3; ++axis) {
            const QString id = station + c.channels + "12Z"[axis];
            ASSERT_EQ(archive.runs.count(id), 1u) << id.toStdString();
            const std::vector<RecordedRun> &runs = archive.runs.at(id);
            ASSERT_EQ(runs.size(), 1u);
            EXPECT_EQ(runs[0].start, c.start.toMSecsSinceEpoch() * 1000);
            ASSERT_EQ(runs[0].samples.size(), signal.size());
            for (size_t k = 0; k < signal.size(); ++k) {
                // Micro-g, positive along the axis: the application's sign turned.
                ASSERT_EQ(runs[0].samples[k], std::lround(-double(signal[k][size_t(axis)]) * 1e6))
                    << id.toStdString() << " sample " << k;
            }
        }
    }
}

TEST(ReportFiles, NoMiniSeedWithoutSamplesOrRate) {
    ReportView report;
    report.receivedAt = QDateTime::currentDateTimeUtc();
    report.sampling = 100;
    EXPECT_TRUE(ReportFiles::signalMiniSeed({}, report).isEmpty());
    report.sampling = 0;
    EXPECT_TRUE(ReportFiles::signalMiniSeed(kSignal, report).isEmpty());
}

}  // namespace
