// The miniSEED archive as seismological tools read it back: through libmseed's own reader.
#include "recording/Recorder.h"

#include "platform/MonotonicClock.h"
#include "support/BuiltProgram.h"
#include "support/EventLoop.h"
#include "support/FileSizeLimit.h"
#include "support/MiniSeedArchive.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace {
// 2026-12-08T23:59:50Z, in seconds since 1970: ten seconds before a UTC midnight.
constexpr double kBeforeMidnight = 1796774390.0;

Recorder::Settings settings(const QString &dir, double rate = 100) {
    return {dir, {"XX", "TEST", "00"}, rate, 0};
}

qint64 micro(double seconds) { return std::llround(seconds * 1e6); }
}  // namespace

TEST(Recorder, SamplesComeBackExactlyWithTheirCodesRateTimeAndSign) {
    QTemporaryDir dir;
    double offset = 1.8e9;  // real time = monotonic + offset
    QString error;
    auto recorder = Recorder::start(settings(dir.path()), &error, [&] { return offset; });
    ASSERT_TRUE(recorder) << error.toStdString();
    // Face up at rest with a little motion: the vertical channel records about +1 g.
    std::vector<int32_t> x, z;
    for (int i = 0; i < 2500; ++i) {
        const double value = 0.001 * std::sin(i / 7.0) + 0.0000004 * (i % 3);
        recorder->addSample({value, 0.25, -1.0 + value, 5.0 + i / 100.0});
        x.push_back(int32_t(std::lround(-value * 1e6)));
        z.push_back(int32_t(std::lround((1.0 - value) * 1e6)));
    }
    recorder->flush();  // what is held reaches the files: the last record is partial

    const MiniSeedArchive archive(dir.path());
    EXPECT_TRUE(archive.problem.isEmpty()) << archive.problem.toStdString();
    EXPECT_EQ(archive.rate, 100);
    ASSERT_EQ(archive.runs.size(), 3u);
    const auto &hnz = archive.runs.at("XX.TEST.00.HNZ");
    ASSERT_EQ(hnz.size(), 1u);
    EXPECT_EQ(hnz[0].start, micro(1.8e9 + 5.0));
    EXPECT_EQ(hnz[0].samples, z);
    EXPECT_EQ(archive.runs.at("XX.TEST.00.HN1")[0].samples, x);
    EXPECT_EQ(archive.runs.at("XX.TEST.00.HN2")[0].samples, std::vector<int32_t>(2500, -250000));
    EXPECT_TRUE(
        archive.files.contains(dir.path() + "/2027/XX/TEST/HNZ.D/XX.TEST.00.HNZ.D.2027.015"))
        << archive.files.join(' ').toStdString();
}

TEST(Recorder, GapsClockStepsAndMidnightStartNewRecordsAtTheRightTimes) {
    QTemporaryDir dir;
    double offset = kBeforeMidnight;
    auto recorder = Recorder::start(settings(dir.path()), nullptr, [&] { return offset; });
    ASSERT_TRUE(recorder);
    int n = 0;
    const auto record = [&](double from, int count) {
        for (int i = 0; i < count; ++i) {
            recorder->addSample({0, 0, -1.0 + 1e-6 * n++, from + i / 100.0});
        }
    };
    record(0.0, 300);  // 23:59:50.00 to 23:59:52.99
    record(3.5, 100);  // after half a second of nothing: 23:59:53.50
    offset += 0.25;    // the real-time clock is set forward by a quarter second
    recorder->checkClock();
    record(4.5, 700);  // 23:59:54.75 (corrected), on past midnight at 00:00:00.00
    recorder->flush();

    const MiniSeedArchive archive(dir.path());
    EXPECT_TRUE(archive.problem.isEmpty()) << archive.problem.toStdString();
    std::vector<qint64> starts;
    std::vector<size_t> counts;
    for (const RecordedRun &run : archive.runs.at("XX.TEST.00.HNZ")) {
        starts.push_back(run.start - micro(kBeforeMidnight));
        counts.push_back(run.samples.size());
    }
    // The runs continue across midnight, in two files: midnight starts a record of its own.
    EXPECT_EQ(starts, (std::vector<qint64>{0, micro(3.5), micro(4.75)}));
    EXPECT_EQ(counts, (std::vector<size_t>{300, 100, 700}));
    EXPECT_EQ(archive.files.filter("HNZ").size(), 2);
    const MiniSeedArchive second(dir.path() + "/2026/XX/TEST/HNZ.D/XX.TEST.00.HNZ.D.2026.343");
    ASSERT_EQ(second.runs.at("XX.TEST.00.HNZ").size(), 1u);
    EXPECT_EQ(second.runs.at("XX.TEST.00.HNZ")[0].start, micro(kBeforeMidnight + 10));
    EXPECT_EQ(second.runs.at("XX.TEST.00.HNZ")[0].samples.size(), 175u);
}

TEST(Recorder, AFailingWriteStopsRecordingAndKeepsWhatWasWritten) {
    QTemporaryDir dir;
    auto recorder = Recorder::start(settings(dir.path()), nullptr, [] { return 1.8e9; });
    ASSERT_TRUE(recorder);
    int failures = 0;
    QObject::connect(recorder.get(), &Recorder::failed, [&] { ++failures; });
    double t = 0;
    for (int i = 0; i < 1000; ++i, t += 0.01) {
        recorder->addSample({0.01 * std::sin(i), 0, -1, t});
    }
    recorder->flush();
    const qint64 written = MiniSeedArchive(dir.path()).runs.at("XX.TEST.00.HNZ")[0].samples.size();
    {
        FileSizeLimit full(QFileInfo(MiniSeedArchive(dir.path()).files.first()).size() + 100);
        for (int i = 0; i < 3000; ++i, t += 0.01) {
            recorder->addSample({0.01 * std::sin(i), 0, -1, t});
        }
        recorder->flush();
    }
    EXPECT_EQ(failures, 1);
    EXPECT_TRUE(recorder->hasFailed());
    EXPECT_TRUE(recorder->failure().contains("File too large"))
        << recorder->failure().toStdString();
    const MiniSeedArchive archive(dir.path());
    EXPECT_TRUE(archive.problem.isEmpty()) << archive.problem.toStdString();
    EXPECT_GE(qint64(archive.runs.at("XX.TEST.00.HNZ")[0].samples.size()), written);
}

TEST(Recorder, KillingTheRecordingProcessLeavesOnlyWholeRecords) {
    for (int attempt = 0; attempt < 6; ++attempt) {
        QTemporaryDir dir;
        QProcess writer;
        startBuiltProgram(writer, RECORDING_WRITER, {dir.path()});
        ASSERT_TRUE(writer.waitForStarted());
        pumpUntil([&] { return !MiniSeedArchive(dir.path()).files.isEmpty(); }, 30000);
        QThread::msleep(QRandomGenerator::global()->bounded(50));
        writer.kill();
        writer.waitForFinished();
        const MiniSeedArchive archive(dir.path());
        EXPECT_TRUE(archive.problem.isEmpty()) << archive.problem.toStdString();
        EXPECT_EQ(archive.runs.size(), 3u);
    }
}

TEST(Recorder, OnlyTheStationsDaysBeyondTheKeptOnesAreDeleted) {
    QTemporaryDir dir;
    const QStringList files = {"2026/XX/TEST/HNZ.D/XX.TEST.00.HNZ.D.2026.339",
                               "2026/XX/TEST/HNZ.D/XX.TEST.00.HNZ.D.2026.340",
                               "2026/XX/TEST/HN1.D/XX.TEST.00.HN1.D.2026.342",
                               "2026/XX/OTHER/HNZ.D/XX.OTHER.00.HNZ.D.2026.300"};
    for (const QString &file : files) {
        QDir().mkpath(QFileInfo(dir.filePath(file)).path());
        QFile(dir.filePath(file)).open(QIODevice::WriteOnly);
    }
    // Today is 2026-12-08 (day 342): keeping two days keeps the 6th (340) on.
    const double offset = kBeforeMidnight - monotonicSeconds();
    Recorder::Settings kept = settings(dir.path());
    kept.keepDays = 2;
    ASSERT_TRUE(Recorder::start(kept, nullptr, [&] { return offset; }));
    EXPECT_FALSE(QFile::exists(dir.filePath(files[0])));
    for (const QString &file : files.mid(1)) {
        EXPECT_TRUE(QFile::exists(dir.filePath(file))) << file.toStdString();
    }
}

TEST(Recorder, TheStationFileDescribesTheChannelsForTools) {
    QTemporaryDir dir;
    auto recorder = Recorder::start(settings(dir.path(), 50), nullptr);
    ASSERT_TRUE(recorder);
    recorder->setPosition({46.5, 7.25, 1200});
    QFile file(dir.path() + "/XX.TEST.xml");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QStringList seen;
    QString element;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            element = xml.name().toString();
            for (const auto &attribute : xml.attributes()) {
                seen << element + "@" + attribute.name().toString() + "=" +
                            attribute.value().toString();
            }
        } else if (xml.isCharacters() && !xml.isWhitespace()) {
            seen << element + "=" + xml.text().toString();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    for (const char *expected :
         {"FDSNStationXML@schemaVersion=1.2", "Network@code=XX", "Station@code=TEST",
          "Latitude=46.5", "Longitude=7.25", "Elevation=1200", "Channel@code=BN1",
          "Channel@code=BN2", "Channel@code=BNZ", "Channel@locationCode=00", "SampleRate=50",
          "Dip=-90", "Azimuth=90", "Value=101971.6213", "Name=M/S**2", "Name=COUNTS"}) {
        EXPECT_TRUE(seen.contains(expected)) << expected;
    }
    EXPECT_EQ(seen.filter("SampleRate=").size(), 3);
}

TEST(Recorder, AFolderThatCannotBeWrittenIsRefusedAtStart) {
    QTemporaryDir dir;
    QFile(dir.path() + "/file").open(QIODevice::WriteOnly);
    QString error;
    EXPECT_FALSE(Recorder::start(settings(dir.path() + "/file/archive"), &error));
    EXPECT_TRUE(error.contains("cannot create the recording folder")) << error.toStdString();
}
