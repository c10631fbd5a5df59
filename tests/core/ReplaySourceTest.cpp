#include "core/ReplaySource.h"
#include "support/Printers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Collector : AccelerometerDelegate {
    void accelerometerDidAccelerate(Accelerometer *, const Acceleration &a) override {
        events.push_back(a);
    }
    std::vector<Acceleration> events;
};

std::vector<ReplaySource::Sample> parse(const QByteArray &text, QString *error) {
    return ReplaySource::parse(text, QStringLiteral("quake.csv"), error);
}

TEST(ReplaySource, ReadsExportAndStreamLines) {
    QString error;
    const auto samples = parse(
        "# a comment\n"
        "0.100000,-0.200000,0.300000,\n"
        "\n"
        "1.5,2.5,-3.5,2010-05-13 10:21:45 +0900\r\n"
        "1,12345.678,0.001,-0.002,0.003\n"
        "my,phone,12.5,4,5,6\n"
        "7,8,9",
        &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    ASSERT_EQ(samples.size(), 5u);
    EXPECT_EQ(samples[0].x, 0.1f);
    EXPECT_EQ(samples[0].y, -0.2f);
    EXPECT_EQ(samples[1].z, -3.5f);
    EXPECT_EQ(samples[2].x, 0.001f);  // name and time come first in a datagram line
    EXPECT_EQ(samples[2].z, 0.003f);
    EXPECT_EQ(samples[3].x, 4.0f);  // a device name may hold commas
    EXPECT_EQ(samples[4].z, 9.0f);

    // A byte-order mark, as some editors save UTF-8.
    const auto marked = parse(
        "\xef\xbb\xbf"
        "0.5,0,0,\n",
        &error);
    ASSERT_EQ(marked.size(), 1u) << error.toStdString();
    EXPECT_EQ(marked[0].x, 0.5f);
}

TEST(ReplaySource, BadInputNamesTheFileAndLine) {
    const struct {
        QByteArray text;
        QString message;
    } cases[] = {
        {"0.1,0.2,0.3,\n0.1,abc,0.3,\n", "quake.csv:2: malformed line"},
        {"\n\n1,2\n", "quake.csv:3: malformed line"},
        {"dev,noon,1,2,3\n", "quake.csv:1: malformed line"},
        {"1,2,nan,\n", "quake.csv:1: malformed line"},
        {"1,2,inf\n", "quake.csv:1: malformed line"},
        // Beyond a float: the filter would turn to inf or nan for the rest of the run.
        {"1e39,0,0,\n", "quake.csv:1: malformed line"},
        {"dev,1.0,0,-1e39,0\n", "quake.csv:1: malformed line"},
        {"dev,1e309,0,0,0\n", "quake.csv:1: malformed line"},
        {"-NaN,0,0\n", "quake.csv:1: malformed line"},
        {"0,Infinity,0\n", "quake.csv:1: malformed line"},
        {"# only a comment\n", "quake.csv: no samples in the file"},
        {"", "quake.csv: no samples in the file"},
        // Bytes from the file are shown escaped: a terminal would act on them.
        {"0,0,\x1b[2J\x9b\xff\xc3\xa9\n",
         "quake.csv:1: malformed line, expected \"x,y,z,[date]\" or \"name,time,x,y,z\": "
         "0,0,\\x1b[2J\\x9b\\xff\u00e9"},
    };
    for (const auto &c : cases) {
        QString error;
        EXPECT_TRUE(parse(c.text, &error).empty());
        EXPECT_TRUE(error.startsWith(c.message)) << error.toStdString();
    }
}

TEST(ReplaySource, MissingFileIsAnErrorNotACrash) {
    QTemporaryDir dir;
    QString error;
    EXPECT_EQ(ReplaySource::open(dir.filePath("none.csv"), false, &error), nullptr);
    EXPECT_EQ(error, dir.filePath("none.csv") + ": cannot open: No such file or directory");
}

void runUntil(const std::function<bool()> &done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
}

TEST(ReplaySource, PlaysOnceAtTheIntervalThenFinishes) {
    ReplaySource source({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}}, false, "test");
    bool finished = false;
    QObject::connect(&source, &ReplaySource::finished, [&] { finished = true; });
    Collector collector;
    source.setUpdateInterval(0.02);
    source.setDelegate(&collector);
    runUntil([&] { return finished; });
    ASSERT_TRUE(finished);
    ASSERT_EQ(collector.events.size(), 5u);
    for (size_t k = 0; k < 5; ++k) {
        EXPECT_EQ(collector.events[k].x, double(k + 1));
        EXPECT_NEAR(collector.events[k].timestamp - collector.events[0].timestamp, 0.02 * k, 1e-9);
    }
    EXPECT_TRUE(source.isFinished());
}

TEST(ReplaySource, LoopsWhenAskedTo) {
    ReplaySource source({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, true, "demo");
    Collector collector;
    source.setUpdateInterval(0.002);  // faster than a Qt timer ticks: due events come in bursts
    source.setDelegate(&collector);
    runUntil([&] { return collector.events.size() >= 7; });
    ASSERT_GE(collector.events.size(), 7u);
    EXPECT_EQ(collector.events[3].x, 1.0);
    EXPECT_EQ(collector.events[6].x, 1.0);
    source.setDelegate(nullptr);
    const size_t delivered = collector.events.size();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(collector.events.size(), delivered);  // no delegate, no events
}

// Resident memory of this process, in kilobytes.
long residentKilobytes() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

TEST(ReplaySource, ALargeFilePlaysWithoutBeingHeldInMemory) {
    QTemporaryDir dir;
    const QString path = dir.filePath("long.csv");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        QByteArray chunk;
        for (int k = 0; k < 1000000; ++k) {  // 34 MB
            chunk += QByteArray::number(k) + ".000000,-0.200000,0.300000,\n";
            if (chunk.size() > 65536) {
                file.write(chunk);
                chunk.clear();
            }
        }
        file.write(chunk);
    }
    const long before = residentKilobytes();
    QString error;
    const auto source = ReplaySource::open(path, false, &error);
    ASSERT_TRUE(source) << error.toStdString();
    Collector collector;
    source->setUpdateInterval(0.0001);
    source->setDelegate(&collector);
    runUntil([&] { return collector.events.size() >= 20000; });
    ASSERT_GE(collector.events.size(), 20000u);
    for (size_t k = 0; k < 20000; ++k) {
        ASSERT_EQ(collector.events[k].x, double(k));  // in order across the reads ahead
    }
    collector.events.clear();
    collector.events.shrink_to_fit();
    // Holding the samples alone would take 12 MB, the text 34 MB. (AddressSanitizer keeps
    // freed memory aside for a while: the resident size says nothing there.)
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(residentKilobytes() - before, 8000);
#else
    (void)before;
#endif
}

TEST(ReplaySource, AFileLoopsWhenAskedTo) {
    QTemporaryDir dir;
    const QString path = dir.filePath("demo.csv");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        // A byte-order mark first, no line feed last.
        file.write(
            "\xef\xbb\xbf"
            "1,0,0,\n2,0,0,\n# demo\n3,0,0,");
    }
    QString error;
    const auto source = ReplaySource::open(path, true, &error);
    ASSERT_TRUE(source) << error.toStdString();
    Collector collector;
    source->setUpdateInterval(0.002);
    source->setDelegate(&collector);
    runUntil([&] { return collector.events.size() >= 7; });
    ASSERT_GE(collector.events.size(), 7u);
    for (size_t k = 0; k < 7; ++k) {
        EXPECT_EQ(collector.events[k].x, double(k % 3 + 1));
    }
}

}  // namespace
