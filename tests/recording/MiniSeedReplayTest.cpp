#include "recording/MiniSeedRecording.h"
#include "recording/MiniSeedSource.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/MiniSeedRecords.h"
#include "support/Printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cmath>
#include <functional>
#include <numeric>

namespace {

const hptime_t kStart = ms_time2hptime(2024, 100, 0, 0, 0, 0);
constexpr hptime_t kSecond = HPTMODULUS;

// Counts k, k+1, ... : a sample's value tells which it is.
std::vector<double> counting(int from, int count, double scale = 1) {
    std::vector<double> samples(static_cast<size_t>(count));
    std::iota(samples.begin(), samples.end(), double(from));
    for (double &sample : samples) {
        sample *= scale;
    }
    return samples;
}

QByteArray channel(const char *code, int from, int count, double rate = 100,
                   const char *station = "STA", int encoding = DE_STEIM2) {
    return miniSeedRecords("XX", station, "00", code, kStart + hptime_t(from / rate * kSecond),
                           rate, counting(from, count), encoding);
}

void write(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The sample numbers of x that `recording` plays, stretch by stretch.
std::vector<int64_t> playedX(const MiniSeedRecording &recording) {
    std::vector<int64_t> played;
    for (const MiniSeedRecording::Stretch &stretch : recording.stretches()) {
        for (int64_t k = 0; k < stretch.count; ++k) {
            played.push_back(std::llround(-MiniSeedRecording::acceleration(stretch, k).x * 1e6));
        }
    }
    return played;
}

TEST(MiniSeedReplay, CountsOfMicroGComeBackAsGInTheApplicationsSign) {
    const struct {
        int encoding;
        const char *x, *y, *z;
    } cases[] = {{DE_STEIM2, "HN1", "HN2", "HNZ"},
                 {DE_INT32, "HNN", "HNE", "HNZ"},
                 {DE_FLOAT32, "BNX", "BNY", "BNZ"},
                 {DE_FLOAT64, "HN1", "HN2", "HNZ"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.encoding);
        QTemporaryDir dir;
        // Face up: +1 g upwards on z in the recording, x and y swinging either way.
        const std::vector<double> x = counting(-700, 1500, 37), y = counting(-750, 1500, -3);
        const std::vector<double> z = counting(1000000, 1500);
        const QString path = dir.filePath("quake.mseed");
        write(path, miniSeedRecords("XX", "STA", "00", c.z, kStart, 100, z, c.encoding) +
                        miniSeedRecords("XX", "STA", "00", c.x, kStart, 100, x, c.encoding) +
                        miniSeedRecords("XX", "STA", "00", c.y, kStart, 100, y, c.encoding));
        QString error;
        const auto recording = MiniSeedRecording::read(path, &error);
        ASSERT_TRUE(recording) << error.toStdString();
        EXPECT_EQ(recording->station(), "XX.STA.00");
        EXPECT_EQ(recording->channels(), (std::array<QString, 3>{c.x, c.y, c.z}));
        ASSERT_EQ(recording->stretches().size(), 1u);
        const MiniSeedRecording::Stretch &stretch = recording->stretches()[0];
        EXPECT_EQ(stretch.start, kStart);
        EXPECT_EQ(stretch.rate, 100);
        ASSERT_EQ(stretch.count, 1500);
        EXPECT_EQ(MiniSeedRecording::acceleration(stretch, 0).z, -1.0);
        for (int64_t k = 0; k < 1500; ++k) {
            const Acceleration a = MiniSeedRecording::acceleration(stretch, k);
            ASSERT_EQ(a.x, -x[size_t(k)] / 1e6) << k;
            ASSERT_EQ(a.y, -y[size_t(k)] / 1e6) << k;
            ASSERT_EQ(a.z, -z[size_t(k)] / 1e6) << k;
        }
    }
}

TEST(MiniSeedReplay, AnArchiveMergesFilesInAnyOrderFromTheCommonStart) {
    QTemporaryDir dir;
    const QString root = dir.filePath("archive");
    for (const char *code : {"HN1", "HN2", "HNZ"}) {
        const QString folder = QStringLiteral("%1/2024/XX/STA/%2.D/XX.STA.00.%2.D.2024.")
                                   .arg(root, QLatin1String(code));
        // z starts a second early; one day's file holds its records out of order, the next
        // day's repeats some of them (an archive written twice).
        const int from = code[2] == 'Z' ? 0 : 100;
        write(folder + "100", channel(code, 2000, 1000) + channel(code, from, 2000 - from));
        write(folder + "101", channel(code, 1500, 1000) + channel(code, 3000, 1000));
    }
    write(root + "/README.txt", "Station XX.STA, installed 2024\n");
    LogCapture log;
    QString error;
    const auto recording = MiniSeedRecording::read(root, &error);
    ASSERT_TRUE(recording) << error.toStdString();
    std::vector<int64_t> expected(3900);
    std::iota(expected.begin(), expected.end(), 100);
    EXPECT_EQ(playedX(*recording), expected);
    EXPECT_EQ(recording->stretches().front().start, kStart + kSecond);
    EXPECT_EQ(log.lines(),
              QStringList{root + ": skipped 1 file(s) that are not miniSEED, such as " + root +
                          "/README.txt"});
}

struct Collector : AccelerometerDelegate {
    void accelerometerDidAccelerate(Accelerometer *, const Acceleration &a) override {
        events.push_back(a);
    }
    std::vector<Acceleration> events;
};

TEST(MiniSeedReplay, PlaysAtTheRecordingsRateWithGapsAsGaps) {
    QTemporaryDir dir;
    const QString path = dir.filePath("gaps.mseed");
    // 1000 samples/s; x misses samples 100 to 149, y starts at 20, z has all.
    write(path, channel("HN1", 0, 100, 1000) + channel("HN1", 150, 150, 1000) +
                    channel("HN2", 20, 280, 1000) + channel("HNZ", 0, 300, 1000));
    QString error;
    const auto source = MiniSeedSource::open(path, &error);
    ASSERT_TRUE(source) << error.toStdString();
    EXPECT_EQ(source->maximumRate(), 1000);
    EXPECT_EQ(source->samplingRate(), 1000);  // what an archive recording the play files it at
    EXPECT_EQ(source->description(),
              "miniSEED recording " + path + " (XX.STA.00 HN1 HN2 HNZ, 1000 samples/s)");
    bool finished = false;
    QObject::connect(source.get(), &MiniSeedSource::finished, [&] { finished = true; });
    Collector collector;
    source->setUpdateInterval(0.5);  // the application's: the recording keeps its own
    source->setDelegate(&collector);
    pumpUntil([&] { return finished; });
    ASSERT_TRUE(finished);
    EXPECT_TRUE(source->isFinished());
    ASSERT_EQ(collector.events.size(), 230u);
    for (size_t k = 0; k < collector.events.size(); ++k) {
        const Acceleration &event = collector.events[k];
        const int64_t sample = std::llround(-event.x * 1e6);
        EXPECT_EQ(sample, k < 80 ? int64_t(k) + 20 : int64_t(k) + 70);
        EXPECT_EQ(std::llround(-event.y * 1e6), sample);
        EXPECT_NEAR(event.timestamp - collector.events[0].timestamp, double(sample - 20) / 1000,
                    1e-6)
            << sample;
    }
}

TEST(MiniSeedReplay, BadRecordingsAreRefusedWithAClearMessage) {
    const QByteArray three =
        channel("HN1", 0, 500) + channel("HN2", 0, 500) + channel("HNZ", 0, 500);
    const struct {
        const char *name;
        std::function<void(const QString &)> make;  // the recording at the path
        QString message;                            // after the path
    } cases[] = {
        {"garbage", [](const QString &p) { write(p, "\x1b[2J\x9b" + QByteArray(600, 'A')); },
         ": not miniSEED; the file starts with \"\\x1b[2J\\x9bAAAAAAAAAAA\""},
        {"truncated", [&](const QString &p) { write(p, three.chopped(100)); },
         QStringLiteral(": byte %1: the file ends inside a record (412 of its 512 bytes)")
             .arg(three.size() - 512)},
        {"trailing", [&](const QString &p) { write(p, three + QByteArray(512, '\n')); },
         QStringLiteral(": byte %1: no miniSEED record here (\"%2\"); the file is miniSEED only "
                        "up to there")
             .arg(three.size())
             .arg(QString("\\x0a").repeated(16))},
        {"tail", [&](const QString &p) { write(p, three + "abc"); },
         QStringLiteral(": byte %1: the file ends in 3 bytes, too few for a record")
             .arg(three.size())},
        {"stations",
         [&](const QString &p) { write(p, three + channel("HNZ", 0, 500, 100, "STB")); },
         ": records of several stations (XX.STA.00, XX.STB.00); replay a file or folder of one "
         "station"},
        {"channels",
         [](const QString &p) { write(p, channel("HN1", 0, 500) + channel("HNZ", 0, 500)); },
         ": XX.STA.00 has no three channels for the x, y and z axes (orientation codes 1, 2 and "
         "Z, or N, E and Z, or X, Y and Z, of one band and instrument); found HN1, HNZ"},
        {"rates",
         [](const QString &p) {
             write(p, channel("HN1", 0, 500) + channel("HN2", 0, 500) + channel("HNZ", 0, 250, 50));
         },
         ": XX.STA.00 HN1 HN2 HNZ: the channels' rates differ at 2024-04-09T00:00:00.000000 (100 "
         "and 50 samples/s)"},
        {"apart",
         [](const QString &p) {
             write(p, channel("HN1", 0, 500) + channel("HN2", 0, 500) + channel("HNZ", 900, 500));
         },
         ": XX.STA.00 HN1 HN2 HNZ never recorded at the same time"},
        {"nan",
         [](const QString &p) {
             write(p, channel("HN1", 0, 5) + channel("HN2", 0, 5) +
                          miniSeedRecords("XX", "STA", "00", "HNZ", kStart, 100, {1, 2, NAN, 4, 5},
                                          DE_FLOAT32));
         },
         ": byte 1024: XX.STA.00 HNZ: sample 2 is nan, not a count of micro-g"},
        {"overcounted",  // would have libmseed read far past the record
         [](const QString &p) {
             QByteArray z =
                 miniSeedRecords("XX", "STA", "00", "HNZ", kStart, 100, {1, 2, 3}, DE_FLOAT32);
             z[30] = z[31] = '\xff';  // the header's sample count
             write(p, channel("HN1", 0, 5) + channel("HN2", 0, 5) + z);
         },
         ": byte 1024: cannot read the record: it counts 65535 samples, more than its 512 "
         "bytes hold"},
        {"empty folder", [](const QString &p) { QDir().mkpath(p); },
         ": no miniSEED samples to play"},
        {"missing", [](const QString &) {}, ": cannot open: No such file or directory"},
        {"fifo", [](const QString &p) { ::mkfifo(QFile::encodeName(p).constData(), 0600); },
         ": not a regular file; a recording is replayed from a file or a folder of files"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("rec"));
        c.make(path);
        QString error;
        EXPECT_FALSE(MiniSeedRecording::read(path, &error));
        EXPECT_EQ(error.toStdString(), (path + c.message).toStdString());
    }
}

// A Steim frame that fails libmseed's integrity check: played as decoded, and said once a file.
TEST(MiniSeedReplay, DoubtfulRecordsPlayAndAreLoggedOncePerFile) {
    QTemporaryDir dir;
    QByteArray z = channel("HNZ", 0, 2000);
    for (qsizetype record = 0; record < z.size(); record += 512) {
        z[record + 72] = '\x55';  // in Xn, the last sample the first frame says there will be
    }
    const QByteArray xy = channel("HN1", 0, 2000) + channel("HN2", 0, 2000);
    const QString path = dir.filePath("doubtful.mseed");
    write(path, xy + z);
    LogCapture log;
    QString error;
    const auto recording = MiniSeedRecording::read(path, &error);
    ASSERT_TRUE(recording) << error.toStdString();
    EXPECT_EQ(playedX(*recording).size(), 2000u);
    ASSERT_EQ(log.lines().size(), 1) << log.lines().join('\n').toStdString();
    EXPECT_TRUE(log.lines()[0].startsWith(
        QStringLiteral("%1: byte %2: XX_STA_00_HNZ_D: Warning: Data integrity check for Steim2 "
                       "failed")
            .arg(path)
            .arg(xy.size())));
    EXPECT_TRUE(log.lines()[0].endsWith("; played as decoded"));
}

TEST(MiniSeedReplay, TheContentTellsMiniSeedNotTheName) {
    QTemporaryDir dir;
    write(dir.filePath("quake.csv"), channel("HNZ", 0, 10));
    write(dir.filePath("quake.mseed"), "0.1,0.2,-1.0,\n");
    write(dir.filePath("empty.mseed"), "");
    ::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600);
    EXPECT_TRUE(MiniSeedRecording::looksLikeMiniSeed(dir.filePath("quake.csv")));
    EXPECT_TRUE(MiniSeedRecording::looksLikeMiniSeed(dir.path()));
    for (const char *other : {"quake.mseed", "empty.mseed", "fifo", "missing"}) {
        EXPECT_FALSE(MiniSeedRecording::looksLikeMiniSeed(dir.filePath(other))) << other;
    }
}

}  // namespace
