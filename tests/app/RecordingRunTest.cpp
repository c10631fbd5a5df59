// Recording a run to a miniSEED archive, from the command line and from the window.
#include "app/AppDelegate.h"
#include "app/RecordingControl.h"
#include "platform/DeviceIdentifier.h"
#include "platform/LocationManager.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "support/EventLoop.h"
#include "support/FakeAccelerometer.h"
#include "support/MiniSeedArchive.h"
#include "support/NmeaLog.h"
#include "support/ShakelogProcess.h"
#include "support/TempConfig.h"

#include "ui/GraphView.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(RecordingRun, AHeadlessRunLeavesAnArchiveOfWhatItPlayed) {
    QTemporaryDir dir;
    QFile csv(dir.filePath("quake.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    std::vector<int32_t> x, z;
    for (int i = 0; i < 1000; ++i) {
        const double value = 0.002 * std::sin(i / 5.0);
        csv.write(QByteArray::number(value, 'f', 6) + ",0.5," +
                  QByteArray::number(-1 + value, 'f', 6) + ",\n");
        x.push_back(int32_t(std::lround(-QByteArray::number(value, 'f', 6).toDouble() * 1e6)));
        z.push_back(int32_t(std::lround(-QByteArray::number(-1 + value, 'f', 6).toDouble() * 1e6)));
    }
    csv.close();
    const QString archive = dir.filePath("archive");
    const ProcessRun run =
        runShakelog({"--headless", "--source", "replay:" + csv.fileName(), "--record", archive,
                     "--station", "XX.TEST.00", "--export-mseed", dir.filePath("history.mseed"),
                     "--duration", "3", "--config-dir", dir.filePath("config")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains("Recording XX.TEST.00 to " + archive)) << run.err.toStdString();

    const MiniSeedArchive recorded(archive);
    EXPECT_TRUE(recorded.problem.isEmpty()) << recorded.problem.toStdString();
    EXPECT_EQ(recorded.rate, 100);
    ASSERT_EQ(recorded.runs.size(), 3u);
    const std::vector<RecordedRun> &hnz = recorded.runs.at("XX.TEST.00.HNZ");
    ASSERT_EQ(hnz.size(), 1u);  // evenly paced: one run, no gap
    const size_t played = hnz[0].samples.size();
    EXPECT_GT(played, 200u);
    EXPECT_EQ(hnz[0].samples, std::vector<int32_t>(z.begin(), z.begin() + played));
    EXPECT_EQ(recorded.runs.at("XX.TEST.00.HN1")[0].samples,
              std::vector<int32_t>(x.begin(), x.begin() + played));
    EXPECT_EQ(recorded.runs.at("XX.TEST.00.HN2")[0].samples, std::vector<int32_t>(played, -500000));
    EXPECT_TRUE(QFile::exists(archive + "/XX.TEST.xml"));
    // The history at the end, as shown (high-passed), in one file.
    const MiniSeedArchive history(dir.filePath("history.mseed"));
    EXPECT_TRUE(history.problem.isEmpty()) << history.problem.toStdString();
    EXPECT_EQ(history.runs.at("XX.TEST.00.HNZ")[0].samples.size(), played);
}

TEST(RecordingRun, AFolderThatCannotBeMadeEndsTheRunAtOnce) {
    QTemporaryDir dir;
    QFile(dir.filePath("file")).open(QIODevice::WriteOnly);
    const ProcessRun run =
        runShakelog({"--headless", "--source", "sine", "--record", dir.filePath("file/archive"),
                     "--duration", "30", "--config-dir", dir.filePath("config")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("shakelog: cannot create the recording folder"))
        << run.err.toStdString();
}

TEST(RecordingRun, TheWindowStartsAndStopsRecordingAndRemembersIt) {
    TempConfig config;
    QTemporaryDir archive;
    UserPref::setString(SettingsKeys::RECORD_FOLDER, archive.path());
    AppDelegate delegate(nullptr, false);
    delegate.applicationDidFinishLaunching();
    QLabel *label = delegate.window->findChild<QLabel *>("mLabelRecording");
    ASSERT_TRUE(label);
    QAction *action = delegate.recording->toggleAction();
    EXPECT_TRUE(delegate.graphView->actions().contains(action));  // the traces' context menu
    EXPECT_EQ(action->shortcut(), QKeySequence("Ctrl+R"));
    EXPECT_FALSE(label->isVisibleTo(delegate.window));

    LocationManager::setSourceFactory(nmeaFactory(nmeaLog({0})));
    action->trigger();
    EXPECT_TRUE(delegate.recording->isRecording());
    // The first fix goes into the station file.
    const QString stationFile = archive.filePath(
        "XX." + SeedCodes::stationFromDeviceIdentifier(DeviceIdentifier::uniqueIdentifier()) +
        ".xml");
    const auto located = [&] {
        QFile file(stationFile);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("<Latitude>35.675<");
    };
    pumpUntil(located);
    EXPECT_TRUE(located());
    LocationManager::setSourceFactory({});
    EXPECT_TRUE(label->isVisibleTo(delegate.window));
    EXPECT_EQ(label->text(), "REC");
    EXPECT_EQ(action->text(), "Stop recording");
    EXPECT_TRUE(UserPref::getBoolean(SettingsKeys::RECORD));
    delegate.processAcceleration({0, 0, -1, 1.0});

    action->trigger();
    EXPECT_FALSE(delegate.recording->isRecording());
    EXPECT_FALSE(label->isVisibleTo(delegate.window));
    EXPECT_FALSE(UserPref::getBoolean(SettingsKeys::RECORD));
    EXPECT_EQ(MiniSeedArchive(archive.path()).runs.size(), 3u);  // stopping wrote what it held

    QFile(archive.filePath("file")).open(QIODevice::WriteOnly);
    UserPref::setString(SettingsKeys::RECORD_FOLDER, archive.filePath("file/archive"));
    action->trigger();  // a folder that cannot be made: shown, not recording
    EXPECT_FALSE(delegate.recording->isRecording());
    EXPECT_EQ(label->text(), "REC ERROR");
}

TEST(RecordingRun, TheArchiveRunsAtTheRateTheSensorDelivers) {
    // A device that offers 104 samples/s where 100 were asked: recorded at 100, its samples
    // would drift from their places and break the records every few tenths of a second.
    TempConfig config;
    QTemporaryDir archive;
    FakeAccelerometer sensor;
    sensor.rate = 104;
    AppDelegate delegate(&sensor, false);
    delegate.applicationDidFinishLaunching();
    delegate.recording->setRunOverride(archive.path(), SeedCodes{"XX", "TEST", "00"}, 0);
    QString error;
    ASSERT_TRUE(delegate.recording->startIfAsked(delegate.usableScanRate(), &error));
    for (int i = 0; i < 520; ++i) {
        delegate.processAcceleration({0, 0, -1, 10.0 + i / 104.0});
    }
    delegate.recording->flush();
    const MiniSeedArchive recorded(archive.path());
    EXPECT_EQ(recorded.rate, 104);
    ASSERT_EQ(recorded.runs.at("XX.TEST.00.HNZ").size(), 1u);
    EXPECT_EQ(recorded.runs.at("XX.TEST.00.HNZ")[0].samples.size(), 520u);
}
