// Event detection in the application: on every sample whatever the traces and FILTER do, into
// the event log, and as lines of a headless run.
#include "app/AppDelegate.h"
#include "app/DetectionControl.h"
#include "core/ReplaySource.h"
#include "detection/EventLog.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "support/ShakelogProcess.h"
#include "support/TempConfig.h"
#include "ui/GraphView.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString kDemo = QStringLiteral(SHAKELOG_SOURCE_DIR "/resources/demo/demo.csv");
constexpr double kEpoch = 1796725305.0;  // 2026-12-08T10:21:45Z at monotonic 0

// The demo recording at 100 samples/s from monotonic time 0.
std::vector<Acceleration> demo() {
    QFile file(kDemo);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QString error;
    const std::vector<ReplaySource::Sample> demo =
        ReplaySource::parse(file.readAll(), kDemo, &error);
    std::vector<Acceleration> samples;
    for (size_t n = 0; n < demo.size(); ++n) {
        samples.push_back({demo[n].x, demo[n].y, demo[n].z, double(n) / 100.0});
    }
    return samples;
}

class DetectionRun : public ::testing::Test {
protected:
    void SetUp() override {
        delegate.applicationDidFinishLaunching();
        UserPref::setBoolean(SettingsKeys::FILTER, false);
        delegate.reloadUserConfiguration();
        delegate.detection->setEventLog(EventLog(dir.filePath("events.jsonl")));
        delegate.detection->setWallClock([](double monotonic) { return kEpoch + monotonic; });
        QObject::connect(delegate.detection, &DetectionControl::eventStarted,
                         [this](const Event &event) { started.push_back(event); });
        QObject::connect(delegate.detection, &DetectionControl::eventEnded,
                         [this](const Event &event) { ended.push_back(event); });
    }

    TempConfig config;
    QTemporaryDir dir;
    AppDelegate delegate{nullptr, false};
    std::vector<Event> started, ended;
};

TEST_F(DetectionRun, EventsAreFoundWithTheTracesPausedAndTheFilterOff) {
    delegate.toggleRun();  // paused: the history takes nothing
    ASSERT_FALSE(delegate.graphView->updatingIsEnabled());
    for (const Acceleration &sample : demo()) {
        delegate.processAcceleration(sample);
    }
    ASSERT_EQ(started.size(), 1u);
    ASSERT_EQ(ended.size(), 1u);
    const Event &event = ended[0];
    EXPECT_EQ(Event::utcText(event.start).left(20), "2026-12-08T10:22:10.");  // P at 25 s
    EXPECT_FALSE(event.cutShort);
    // High-passed as the traces draw it with the filter on, not the raw z with gravity in it.
    EXPECT_GT(event.pga, 0.03);
    EXPECT_LT(event.pga, 0.1);
    EXPECT_EQ(event.pgaAxis, 0);
    EXPECT_TRUE(event.archive.isEmpty());
    QFile log(delegate.detection->eventLog().path());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll(), event.jsonLine());
}

TEST_F(DetectionRun, TheEndOfTheRunEndsAnEventRunning) {
    for (const Acceleration &sample : demo()) {
        if (sample.timestamp > 29) {
            break;
        }
        delegate.processAcceleration(sample);
    }
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(ended.empty());
    delegate.detection->finish();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_TRUE(ended[0].cutShort);
    EXPECT_NEAR(ended[0].end, kEpoch + 29, 0.02);
    EXPECT_EQ(delegate.detection->eventLog().read().size(), 1u);
}

TEST_F(DetectionRun, TheEventLabelShowsFromStartToEndAlsoWhenTheDetectorIsRebuilt) {
    const QLabel *label = delegate.window->findChild<QLabel *>("mLabelEvent");
    ASSERT_TRUE(label);
    const auto shown = [&] { return label->isVisibleTo(delegate.window); };
    EXPECT_FALSE(shown());
    const std::vector<Acceleration> samples = demo();
    size_t next = 0;
    const auto playUntil = [&](const std::vector<Event> &told) {
        const size_t before = told.size();
        while (told.size() == before && next < samples.size()) {
            delegate.processAcceleration(samples[next++]);
        }
    };
    playUntil(started);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_TRUE(shown());
    EXPECT_EQ(label->text(), "EVENT");
    playUntil(ended);
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_FALSE(shown());

    // Played again at half the rate, the quake starts an event; a new rate rebuilds the
    // detector and cuts it short.
    delegate.detection->setRate(50);
    next = 0;
    playUntil(started);
    ASSERT_EQ(started.size(), 2u);
    EXPECT_TRUE(shown());
    delegate.detection->setRate(100);
    ASSERT_EQ(ended.size(), 2u);
    EXPECT_TRUE(ended[1].cutShort);
    EXPECT_FALSE(shown());
}

TEST(DetectionHeadless, TheDemoReplayedPrintsOneEventAndHandsItToTheProgram) {
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", dir.filePath("data"));
    const QString handed = dir.filePath("handed.json");
    const ProcessRun run = runShakelog(
        {"--headless", "--source", "replay:" + kDemo, "--duration", "57", "--config-dir",
         dir.filePath("config"), "--on-event", "sh -c \"cat > " + handed + "\""},
        120000, environment);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    // The quake runs from 25 s to about 53 s of the record.
    const QStringList events = run.out.split('\n').filter(QRegularExpression("^event "));
    ASSERT_EQ(events.size(), 2) << run.out.toStdString();
    const QString time = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)";
    EXPECT_TRUE(QRegularExpression("^event start " + time + "$").match(events[0]).hasMatch())
        << events[0].toStdString();
    EXPECT_TRUE(
        QRegularExpression("^event end " + time +
                           R"( duration \d+\.\d s pga \d\.\d{4} g axis [xyz] ratio \d+\.\d$)")
            .match(events[1])
            .hasMatch())
        << events[1].toStdString();

    QFile log(dir.filePath("data/shakelog/events.jsonl"));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray line = log.readAll();
    EXPECT_EQ(line.count('\n'), 1);
    QFile program(handed);
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    EXPECT_EQ(program.readAll(), line);
    const std::vector<Event> logged = EventLog::parse(line, "events.jsonl");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].startLine(), events[0]);
    EXPECT_TRUE(events[1].startsWith("event end " + Event::utcText(logged[0].end) + " "));
}

}  // namespace
