// The shakelog executable as a user or a script runs it.
#include "platform/MonotonicClock.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "support/BuiltProgram.h"
#include "support/Loopback.h"
#include "support/MiniSeedArchive.h"
#include "support/MiniSeedRecords.h"
#include "support/Printers.h"
#include "support/ScopedEnvironment.h"
#include "support/ScriptedHttpServer.h"
#include "support/ShakelogProcess.h"
#include "support/SimulatedIioDevice.h"
#include "support/TempConfig.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <functional>
#include <numeric>
#include <thread>

namespace {

// Reads what `process` prints into `output` until it holds `text`, the process has ended or a
// generous deadline has passed; whether it came.
bool waitForOutput(QProcess &process, QByteArray &output, const QByteArray &text) {
    const QDeadlineTimer deadline(30000);
    while (!output.contains(text) && process.state() != QProcess::NotRunning &&
           !deadline.hasExpired()) {
        process.waitForReadyRead(100);
        output += process.readAll();
    }
    output += process.readAll();
    return output.contains(text);
}

// The mean of the rates a headless run printed, one mark a second, over its whole seconds: the
// first mark counts one sample and the second a partial second. -1 without a whole second.
double wholeSecondRate(const QString &output) {
    QList<int> marks;
    for (const QString &line : output.split('\n')) {
        if (line.endsWith("hz")) {
            marks << line.chopped(2).toInt();
        }
    }
    return marks.size() < 3
               ? -1
               : std::accumulate(marks.begin() + 2, marks.end(), 0.0) / double(marks.size() - 2);
}

// Samples are counted in the wall-clock second they are handled in: a machine that stalls for
// a third of a second at a second's edge moves that many into the next one. A rate off by half
// or twice is still far outside.
constexpr double kRateSlack = 30;

TEST(ShakelogProcess, HeadlessSineRunReportsTheConfiguredRate) {
    QTemporaryDir config;
    const ProcessRun run = runShakelog(
        {"--headless", "--source", "sine", "--duration", "3", "--config-dir", config.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_NEAR(wholeSecondRate(run.out), 100, kRateSlack) << run.out.toStdString();
    EXPECT_TRUE(QFile::exists(QDir(config.path()).filePath("preferences.json")));
    EXPECT_TRUE(run.err.contains("User settings have been initialized"));
}

// Starts shakelog, sends SIGTERM once it runs and returns what it printed; `whileRunning` is
// called before the signal. The run must end cleanly with status 0.
QByteArray terminateOnceRunning(
    const QStringList &arguments, const std::function<void()> &whileRunning = [] {}) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    startBuiltProgram(process, QStringLiteral(SHAKELOG_EXECUTABLE), arguments);
    EXPECT_TRUE(process.waitForStarted());
    QByteArray output;
    EXPECT_TRUE(waitForOutput(process, output, "starting network now")) << output.toStdString();
    whileRunning();
    process.terminate();  // SIGTERM
    EXPECT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    return output + process.readAll();
}

TEST(ShakelogProcess, TerminationSignalQuitsCleanly) {
    QTemporaryDir config;
    terminateOnceRunning({"--headless", "--source", "sine", "--config-dir", config.path()});

    // A real accelerometer is put back as it was found.
    SimulatedIioDevice sim;
    sim.openWriter();
    const auto before = sim.snapshot();
    terminateOnceRunning({"--headless", "--source", "iio", "--config-dir", config.path()}, [&] {
        // Capture starts from the event loop, just after activation.
        const QDeadlineTimer deadline(30000);
        while (sim.attribute("buffer/enable") != "1" && !deadline.hasExpired()) {
            QThread::msleep(20);
        }
        EXPECT_EQ(sim.attribute("buffer/enable"), "1");
    });
    EXPECT_EQ(sim.snapshot(), before);
}

TEST(ShakelogProcess, ABadRecordingIsReportedWithItsLine) {
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0.1,0.2,0.3,\n0.1,zero,0.3,\n");
    file.close();
    const ProcessRun run =
        runShakelog({"--headless", "--source", "replay:" + path, "--config-dir", dir.path()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(path + ":2: malformed line")) << run.err.toStdString();
}

TEST(ShakelogProcess, AFifoToReplayIsRefusedNotWaitedOn) {
    QTemporaryDir dir;
    const QString path = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);  // no one writes to it
    const ProcessRun run = runShakelog({"--headless", "--source", "replay:" + path, "--duration",
                                        "1", "--config-dir", dir.path()});
    EXPECT_EQ(run.exitCode, 1);  // -1: still waiting in open at the deadline
    EXPECT_TRUE(run.err.contains(path + ": not a regular file")) << run.err.toStdString();
}

TEST(ShakelogProcess, ReplayPlaysARecordingAtTheConfiguredRate) {
    QTemporaryDir dir;
    const QString path = dir.filePath("quake.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    for (int k = 0; k < 400; ++k) {
        file.write(QByteArray::number(k % 7 * 0.01) + ",0.0,-1.0,\n");
    }
    file.close();
    const ProcessRun run = runShakelog({"--headless", "--source", "replay:" + path, "--duration",
                                        "2.5", "--config-dir", dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_NEAR(wholeSecondRate(run.out), 100, kRateSlack) << run.out.toStdString();
}

// miniSEED is told by its content, here under a CSV's name, and plays at its own rate (50 per
// second) whatever the configured one (100). Recorded again, it makes the same counts at the
// same rate: the replay and the recorder agree on units and signs.
TEST(ShakelogProcess, ReplayPlaysMiniSeedAtTheRecordingsRate) {
    QTemporaryDir dir;
    const QString path = dir.filePath("quake.csv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    std::array<std::vector<double>, 3> counts;
    for (int k = 0; k < 200; ++k) {
        counts[0].push_back(std::round(20000 * std::sin(k / 5.0)));
        counts[1].push_back(-300 - k);
        counts[2].push_back(1000000 + k % 7);
    }
    for (size_t axis = 0; axis < 3; ++axis) {
        const char *channel[] = {"HN1", "HN2", "HNZ"};
        file.write(miniSeedRecords("XX", "STA", "00", channel[axis], 0, 50, counts[axis]));
    }
    file.close();
    const QString archive = dir.filePath("archive");
    const ProcessRun run =
        runShakelog({"--headless", "--source", "replay:" + path, "--record", archive, "--station",
                     "XX.TEST.00", "--duration", "3.5", "--config-dir", dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_NEAR(wholeSecondRate(run.out), 50, kRateSlack / 2) << run.out.toStdString();

    const MiniSeedArchive recorded(archive);
    EXPECT_TRUE(recorded.problem.isEmpty()) << recorded.problem.toStdString();
    EXPECT_EQ(recorded.rate, 50);
    for (size_t axis = 0; axis < 3; ++axis) {
        const char *channel[] = {"XX.TEST.00.BN1", "XX.TEST.00.BN2", "XX.TEST.00.BNZ"};
        ASSERT_EQ(recorded.runs.count(channel[axis]), 1u) << channel[axis];
        const std::vector<RecordedRun> &runs = recorded.runs.at(channel[axis]);
        ASSERT_EQ(runs.size(), 1u);
        // 4 s of it in a run of 3.5 s; less on a busy machine.
        const size_t played = runs[0].samples.size();
        ASSERT_GT(played, 100u);
        ASSERT_LE(played, counts[axis].size());
        EXPECT_EQ(runs[0].samples,
                  std::vector<int32_t>(counts[axis].begin(), counts[axis].begin() + played));
    }
}

TEST(ShakelogProcess, ScreenshotAfterZeroIsTheFirstFrameOfTheWholeWindow) {
    QTemporaryDir dir;
    const QString file = dir.filePath("first.png");
    const ProcessRun run = runShakelog(
        {"--source", "sine", "--screenshot", file, "--after", "0", "--config-dir", dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QImage shot(file);
    ASSERT_EQ(shot.size(), QSize(320, 460));
    // Laid out and drawn, not an empty surface: more than one colour.
    const QRgb first = shot.pixel(0, 0);
    bool drawn = false;
    for (int y = 0; y < shot.height() && !drawn; ++y) {
        for (int x = 0; x < shot.width() && !drawn; ++x) {
            drawn = shot.pixel(x, y) != first;
        }
    }
    EXPECT_TRUE(drawn);
}

TEST(ShakelogProcess, ScreenshotWritesThePictureOfTheWindow) {
    QTemporaryDir dir;
    const QString file = dir.filePath("shot.png");
    // The time counts from before the window's launch, which takes most of a second under
    // qemu-user on a busy machine: 3 s leave room for traces to be drawn.
    const ProcessRun run = runShakelog(
        {"--source", "sine", "--screenshot", file, "--after", "3", "--config-dir", dir.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QImage shot(file);
    ASSERT_EQ(shot.size(), QSize(320, 460));
    // The window itself: in each of the three strips, from the top, its axis's needle (red,
    // green, blue) beside a trace drawn in black.
    const auto has = [&shot](int top, int bottom, const std::function<bool(QColor)> &wanted) {
        for (int y = top; y < bottom; ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                if (wanted(shot.pixelColor(x, y))) {
                    return true;
                }
            }
        }
        return false;
    };
    const auto leading = [](int channel) {
        return [channel](QColor c) {
            const int value[] = {c.red(), c.green(), c.blue()};
            return value[channel] > value[(channel + 1) % 3] + 60 &&
                   value[channel] > value[(channel + 2) % 3] + 60;
        };
    };
    const auto black = [](QColor c) { return c.red() + c.green() + c.blue() < 150; };
    for (int axis = 0; axis < 3; ++axis) {
        const int top = 140 * axis, bottom = 140 * axis + 140;
        EXPECT_TRUE(has(top, bottom, leading(axis))) << "axis " << axis;
        EXPECT_TRUE(has(top, bottom, black)) << "axis " << axis;
    }
}

TEST(ShakelogProcess, OneInstanceShowsAnothersLiveSignal) {
    QTemporaryDir sender, receiver;
    // The listener runs until it is told to stop; it is ready once it has started its network.
    // A port found free may be taken again before the listener binds it: a listener that cannot
    // bind says so and ends at once, and the next try takes another port.
    QProcess listening;
    listening.setProcessChannelMode(QProcess::MergedChannels);
    QByteArray output;
    int port = 0;
    for (int attempt = 0; attempt < 5 && !output.contains("starting network now"); ++attempt) {
        ::close(bindLoopback(SOCK_DGRAM, &port));
        output.clear();
        startBuiltProgram(listening, QStringLiteral(SHAKELOG_EXECUTABLE),
                          {"--headless", "--source", QStringLiteral("udp:127.0.0.1:%1").arg(port),
                           "--duration", "120", "--config-dir", receiver.path()});
        if (!waitForOutput(listening, output, "starting network now")) {
            ASSERT_TRUE(output.contains("cannot listen")) << output.toStdString();
            listening.waitForFinished();
        }
    }
    ASSERT_TRUE(output.contains("starting network now")) << output.toStdString();
    const ProcessRun run = runShakelog({"--headless", "--source", "sine", "--stream",
                                        QStringLiteral("127.0.0.1:%1").arg(port), "--duration", "3",
                                        "--config-dir", sender.path()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    listening.terminate();
    ASSERT_TRUE(listening.waitForFinished(30000));
    output += listening.readAll();
    EXPECT_NEAR(wholeSecondRate(QString::fromUtf8(output)), 100, kRateSlack)
        << output.toStdString();
}

TEST(ShakelogProcess, AtItsEndARunExportsAndReportsItsSamples) {
    using namespace SettingsKeys;
    TempConfig config;
    UserPref::setBoolean(HAS_INITIALIZED_1_2, true);
    UserPref::setInt(SCAN_RATE, 100);
    UserPref::setBoolean(LOCATION_SEND, false);
    const QString csv = QDir(config.directory()).filePath("samples.csv");
    const auto reportTo = [&](const ScriptedHttpServer &server, const QStringList &more) {
        return runShakelog(QStringList{"--headless", "--source", "sine", "--duration", "1",
                                       "--config-dir", config.directory(), "--upload",
                                       QString::fromUtf8(server.url("/report"))} +
                           more);
    };

    ScriptedHttpServer accepting({ScriptedHttpServer::write(
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok")});
    const ProcessRun run = reportTo(accepting, {"--earthquake", "--export-csv", csv});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.endsWith("Report accepted (status 200)\n")) << run.out.toStdString();
    EXPECT_TRUE(run.err.contains("LOCATION_SEND is off: sending the report without location"));
    const QByteArray request = accepting.request();
    EXPECT_TRUE(request.contains("&lat=0.000000&lon=0.000000&alt=0.000000&sampling=100&"));
    EXPECT_TRUE(request.contains("&isearthquake=Y&action=add HTTP/1.1\r\n"));
    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GT(lines.size(), 50);  // about 100 samples in a second, and a final line feed
    // The report and the export carry the same samples.
    EXPECT_TRUE(request.contains("\r\n\r\n" + lines[0].left(lines[0].lastIndexOf(',')) + "\n"));

    ScriptedHttpServer refusing({ScriptedHttpServer::write(
        "HTTP/1.1 500 Oops\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")});
    const ProcessRun refused = reportTo(refusing, {});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.out.endsWith("Report not accepted (status 500)\n"))
        << refused.out.toStdString();
}

TEST(ShakelogProcess, RecordsASimulatedIioAccelerometerInItsUnitsAxesAndTime) {
    SimulatedIioDevice sim;
    // Turned a quarter: device x = -chip y, device y = chip x.
    sim.setAttribute("in_accel_mount_matrix", "0, -1, 0; 1, 0, 0; 0, 0, 1");
    sim.openWriter();
    const auto before = sim.snapshot();
    using namespace SettingsKeys;
    TempConfig config;
    UserPref::setBoolean(HAS_INITIALIZED_1_2, true);
    UserPref::setBoolean(FILTER, false);  // the export then holds the values as measured
    UserPref::setInt(SCAN_RATE, 100);
    QTemporaryDir out;
    const QString csv = out.filePath("samples.csv");

    // The sensor's clock runs 15 s behind this machine's: the dates must follow the sensor.
    const double sensorStart = monotonicSeconds() - 15.0;
    const QDateTime runStart = QDateTime::currentDateTime();
    std::atomic<bool> done = false;
    std::thread writer([&] {
        for (int i = 0; i < 1000 && !done; ++i) {
            const auto ns = int64_t((sensorStart + 0.01 * i) * 1e9);
            sim.write(SimulatedIioDevice::scan(-8192, 4096, 16384, ns));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const ProcessRun run =
        runShakelog({"--headless", "--source", "iio:" + sim.path(), "--duration", "2",
                     "--export-csv", csv, "--config-dir", config.directory()});
    const QDateTime runEnd = QDateTime::currentDateTime();
    done = true;
    writer.join();
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(sim.snapshot(), before) << "the device was not put back as it was";

    QFile file(csv);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    int recorded = 0;
    int dated = 0;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.isEmpty() || line.startsWith("0.000000,0.000000,0.000000,")) {
            continue;  // a slot of the history not yet written
        }
        ++recorded;
        // Chip x -0.5 g, y +0.25 g, z +1 g; turned, and in the application's signs.
        const QByteArray values = "0.250000,0.500000,-1.000000,";
        ASSERT_TRUE(line.startsWith(values)) << line.toStdString();
        const QByteArray date = line.mid(values.size());
        if (!date.isEmpty()) {
            ++dated;
            const QDateTime when =
                QDateTime::fromString(QString::fromLatin1(date.left(19)), "yyyy-MM-dd HH:mm:ss");
            EXPECT_GE(when, runStart.addSecs(-18)) << date.toStdString();
            EXPECT_LE(when, runEnd.addSecs(-13)) << date.toStdString();
        }
    }
    EXPECT_GE(recorded, 100);
    EXPECT_GE(dated, 1);
}

TEST(ShakelogProcess, ListSensorsShowsEachAccelerometerOrSaysThereIsNone) {
    {
        SimulatedIioDevice sim("lis3dh");
        const ProcessRun run = runShakelog({"--list-sensors"});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains("IIO accelerometer iio:device0")) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains("name: lis3dh")) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains("buffered capture: yes")) << run.out.toStdString();
    }
    QTemporaryDir empty;
    const ScopedEnvironment noDevices("SHAKELOG_IIO_SYSFS_DIR", empty.path().toLocal8Bit());
    const ProcessRun run = runShakelog({"--list-sensors"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.startsWith("No accelerometer found")) << run.out.toStdString();
}

TEST(ShakelogProcess, AnIioSourceThatIsNotThereEndsTheRunWithAMessage) {
    SimulatedIioDevice sim;
    const ProcessRun run =
        runShakelog({"--headless", "--source", "iio:adxl345", "--duration", "1"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("No IIO accelerometer named 'adxl345'")) << run.err.toStdString();
}

}  // namespace
