#include "app/AppDelegate.h"
#include "platform/MonotonicClock.h"
#include "platform/NotificationCenter.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "support/EventLoop.h"
#include "support/FakeAccelerometer.h"
#include "support/LogCapture.h"
#include "support/Printers.h"
#include "support/RecordingStore.h"
#include "support/TempConfig.h"
#include "ui/GraphView.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using namespace SettingsKeys;

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() { useRecordingStore(); }

    void useRecordingStore() {
        auto recording = std::make_unique<RecordingStore>(config.directory());
        store = recording.get();
        UserPref::useStore(std::move(recording));
    }
    std::unique_ptr<AppDelegate> launch() {
        auto delegate = std::make_unique<AppDelegate>(&accelerometer, false);
        delegate->applicationDidFinishLaunching();
        return delegate;
    }
    // Everything the stream's observer was handed.
    std::vector<AccelerationInfo> observePublished() {
        NotificationCenter::defaultCenter().addObserver(
            this, kAccelerationUpdate, [this](const NotificationCenter::Notification &n) {
                published.push_back(std::any_cast<AccelerationInfo>(n.object));
            });
        return {};
    }
    ~AppDelegateTest() override { NotificationCenter::defaultCenter().removeObserver(this); }

    TempConfig config;
    RecordingStore *store = nullptr;
    LogCapture log;
    FakeAccelerometer accelerometer;
    std::vector<AccelerationInfo> published;
};

TEST_F(AppDelegateTest, FirstLaunchWritesTheFirstRunValuesInOrder) {
    auto delegate = launch();
    // The banner's setting is read when the window loads, before the launch; a setting read
    // while missing is stored as false first.
    const QStringList expected = {DONATE_HIDE,
                                  HAS_INITIALIZED_1_2,
                                  FILTER,
                                  DRAW_TIME,
                                  REAL_TIME,
                                  SCAN_RATE,
                                  HAS_INITIALIZED_1_2,
                                  LOCATION_SEND,
                                  ALARM_LEVEL,
                                  MY_DEVICE_ID,
                                  IP,
                                  PORT,
                                  NETWORK};
    EXPECT_EQ(store->writes, expected);
    const QList<PrefValue> values = {false,
                                     false,
                                     true,
                                     false,
                                     true,
                                     qint32(100),
                                     true,
                                     true,
                                     qint32(2),
                                     QStringLiteral("1"),
                                     QStringLiteral("10.0.2.1"),
                                     qint32(10552),
                                     false};
    EXPECT_EQ(store->values, values);
    // (A machine without a desktop session adds a line about the screen saver.)
    EXPECT_EQ(log.lines().filter(QRegularExpression("^(?!Screen saver)")),
              QStringList({"User settings have been initialized", "alarm 0.660000",
                           "Device started. Take real signal values"}));
    EXPECT_TRUE(delegate->graphView->updatingIsEnabled());
    EXPECT_TRUE(delegate->graphView->filteringIsEnabled());
    EXPECT_EQ(delegate->graphView->frequency(), 100.0f);
    EXPECT_TRUE(delegate->graphView->realTime());
    EXPECT_FALSE(delegate->graphView->drawTime());
}

TEST_F(AppDelegateTest, LaterLaunchesOnlySwitchTheStreamOff) {
    launch();
    UserPref::setBoolean(NETWORK, true);
    config.reopen();  // a new process
    useRecordingStore();
    log.clear();
    launch();
    EXPECT_EQ(store->writes, QStringList{NETWORK});
    EXPECT_FALSE(UserPref::getBoolean(NETWORK));
    EXPECT_EQ(log.count("User settings have been initialized"), 0);
}

// A store whose process is killed after `lives` writes of the file: later ones never land.
class DyingStore : public PreferenceStore {
public:
    DyingStore(const QString &directory, int lives) : PreferenceStore(directory), mLives(lives) {}
    bool synchronize() override { return mLives-- > 0 && PreferenceStore::synchronize(); }

private:
    int mLives;
};

TEST_F(AppDelegateTest, AFirstLaunchKilledAtAnyWriteIsCompletedAtTheNextStart) {
    for (int lives = 0; lives <= 14; ++lives) {
        QFile::remove(config.filePath());
        UserPref::useStore(std::make_unique<DyingStore>(config.directory(), lives));
        launch();
        config.reopen();  // the next start
        useRecordingStore();
        launch();
        for (const Key &key : kAll) {
            if (key.firstRun) {
                EXPECT_EQ(UserPref::persistentStore().copyAppValue(key.name), key.firstRun)
                    << key.name.toStdString() << " after " << lives << " writes";
            }
        }
    }
}

TEST_F(AppDelegateTest, SettingsWithoutTheFirstRunMarkAreCopiedBeforeTheyAreReplaced) {
    const char *marks[] = {"", R"("HAS_INITIALIZED_1_2": {"integer": 1},)",
                           R"("HAS_INITIALIZED_1_2": {"string": "true"},)"};
    for (const char *mark : marks) {
        QDir(config.directory()).removeRecursively();
        QDir().mkpath(config.directory());
        QFile file(config.filePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("{") + mark +
                   R"("IP": {"string": "192.0.2.7"}, "PORT": {"integer": 5000}})");
        file.close();
        config.reopen();
        useRecordingStore();
        log.clear();
        launch();
        EXPECT_EQ(UserPref::getString(IP), "10.0.2.1") << mark;
        QFile copy(config.filePath() + ".corrupt");
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << mark;
        const auto kept = PreferenceStore::parse(copy.readAll());
        ASSERT_TRUE(kept) << mark;
        EXPECT_EQ(kept->value(IP), PrefValue(QStringLiteral("192.0.2.7")));
        EXPECT_EQ(kept->value(PORT), PrefValue(qint32(5000)));
        EXPECT_EQ(log.lines().filter(config.filePath() + ".corrupt").size(), 1) << mark;
    }
}

TEST_F(AppDelegateTest, AStoredAlarmLevelOfZeroBecomesTwo) {
    launch();
    UserPref::setInt(ALARM_LEVEL, 0);
    store->writes.clear();
    log.clear();
    auto delegate = launch();
    EXPECT_EQ(store->writes, QStringList({NETWORK, ALARM_LEVEL}));
    EXPECT_EQ(UserPref::getInt(ALARM_LEVEL), 2);
    EXPECT_EQ(delegate->graphView->alarmLevel(), 0.66f);
    EXPECT_EQ(log.count("alarm 0.660000"), 1);

    UserPref::setInt(ALARM_LEVEL, 3);
    EXPECT_EQ(launch()->graphView->alarmLevel(), 3.0f * 0.33f);
}

TEST_F(AppDelegateTest, RepeatedActivationConnectsOnce) {
    auto delegate = launch();
    log.clear();
    for (int i = 0; i < 3; ++i) {
        delegate->applicationDidBecomeActive();  // every focus change on a desktop
    }
    EXPECT_EQ(accelerometer.delegateSets, 1);
    EXPECT_EQ(accelerometer.delegate, delegate.get());
    EXPECT_DOUBLE_EQ(accelerometer.interval, double(1.0f / 100.0f));
    EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(kAccelerationUpdate), 1);
    EXPECT_EQ(log.lines(), QStringList({"Initializing Accelerometer 0.010000 interval",
                                        "applicationDidBecomeActive - starting network now",
                                        "networkEnabled 0", "isBroadcast 0",
                                        "addr=10.0.2.1"}));
}

TEST_F(AppDelegateTest, ANonPositiveRateSamplesOncePerSecond) {
    launch();
    UserPref::setInt(SCAN_RATE, 0);
    auto delegate = launch();
    log.clear();
    delegate->applicationDidBecomeActive();
    EXPECT_EQ(accelerometer.interval, 1.0);
    EXPECT_EQ(log.lines().first(), "SCAN_RATE 0 is not a usable rate; sampling at 1 per second");
    EXPECT_EQ(log.lines()[1], "Initializing Accelerometer 1.000000 interval");
    EXPECT_EQ(UserPref::getInt(SCAN_RATE), 0);  // the setting is the user's: left alone

    // Samples still flow and the once-a-second redraw rule has a divisor.
    delegate->graphView->setMRealTime(false);
    accelerometer.deliver(0.1, 0.2, 0.3, 1.0);
    EXPECT_EQ(delegate->graphView->getLatestHistory(0), double(0.1f) - 0.1 * double(0.1f));

    // The alarm counts at the rate sampled: five seconds are five samples.
    delegate->toggleAlarm();
    EXPECT_EQ(delegate->graphView->alarm().alarmCountDown(), 5);
    EXPECT_EQ(delegate->graphView->alarm().alarmSoundRepeatCountDown(), 60);
}

TEST_F(AppDelegateTest, WithTheStreamOffNothingIsPublished) {
    auto delegate = launch();
    delegate->applicationDidBecomeActive();
    observePublished();
    delegate->mLabelNetwork->setText("?");
    accelerometer.deliver(0.5, 0.5, -1.0, 10.0);
    EXPECT_TRUE(published.empty());
    EXPECT_EQ(delegate->mLabelNetwork->text(), "NETWORK: OFF");
    EXPECT_NE(delegate->graphView->getLatestHistory(2), 0.0);  // the sample was recorded
}

TEST_F(AppDelegateTest, WithTheStreamOnEverySampleIsPublishedEvenWhilePaused) {
    auto delegate = launch();
    delegate->applicationDidBecomeActive();
    observePublished();
    delegate->setNetworkEnabled(true);

    accelerometer.deliver(0.5, 0.25, -1.0, 10.0);
    ASSERT_EQ(published.size(), 1u);
    EXPECT_EQ(published[0].absTime, 10.0);
    EXPECT_EQ(published[0].x, delegate->graphView->getLatestHistory(0));
    EXPECT_EQ(published[0].z, 0.9 * -1.0);  // filtered, as stored
    EXPECT_FALSE(published[0].deviceID.isEmpty());
    EXPECT_EQ(delegate->mLabelNetwork->text(), "NETWORK: ON");

    delegate->graphView->setUpdatingIsEnabled(false);
    accelerometer.deliver(3.0, 3.0, 3.0, 10.01);
    ASSERT_EQ(published.size(), 2u);
    EXPECT_EQ(published[1].absTime, 10.01);     // the new time stamp ...
    EXPECT_EQ(published[1].x, published[0].x);  // ... with the frozen values
    EXPECT_EQ(published[1].y, published[0].y);
    EXPECT_EQ(published[1].z, published[0].z);
    EXPECT_EQ(delegate->mLabelNetwork->text(), "NETWORK: ON");
}

TEST_F(AppDelegateTest, SineSourceFeedsTheHistoryAtTheConfiguredRate) {
    launch();
    UserPref::setBoolean(FILTER, false);
    auto delegate = launch();
    delegate->startTimer();
    ASSERT_NE(delegate->mTimer, nullptr);
    EXPECT_EQ(delegate->mTimer->interval(), 10);
    delegate->stopTimer();
    EXPECT_EQ(delegate->mTimer, nullptr);

    for (int i = 0; i < 3; ++i) {
        delegate->ticked();
    }
    // Sample n is (sin(n/3)/6.8, sin(n/4)/7.1, sin(n/6)/8.4), worked out to nine places and
    // met within the single precision the history keeps.
    GraphView *view = delegate->graphView;
    const struct {
        int offset;
        double x, y, z;
    } expected[] = {{-3, 0.048116867, 0.034845628, 0.019749540},
                    {-2, 0.090936736, 0.067524724, 0.038951750},
                    {-1, 0.123745733, 0.096005459, 0.057074469}};
    for (const auto &e : expected) {
        EXPECT_NEAR(view->getHistory(e.offset, 0), e.x, 5e-9) << e.offset;
        EXPECT_NEAR(view->getHistory(e.offset, 1), e.y, 5e-9) << e.offset;
        EXPECT_NEAR(view->getHistory(e.offset, 2), e.z, 5e-9) << e.offset;
    }
}

// Rates whose interval is no whole number of milliseconds: 300/s is not 333/s, and 2 500/s does
// not spin the event loop for as many samples as it can. Measured with the samples' own time
// stamps, the times they were due, which a late timer does not move.
TEST_F(AppDelegateTest, TheSineSourceKeepsOddAndFastRates) {
    launch();  // past the first run, which stores a rate of 100
    observePublished();
    for (const int rate : {300, 2500}) {
        SCOPED_TRACE(rate);
        UserPref::setInt(SCAN_RATE, rate);
        auto delegate = launch();
        delegate->setNetworkEnabled(true);  // publishes every sample; never activated, so unsent
        published.clear();
        const double start = monotonicSeconds();
        delegate->startTimer();
        // Right after each tick: how far the newest sample is behind the clock.
        double lagging = 0;
        QObject::connect(delegate->mTimer, &QTimer::timeout, [&] {
            lagging = published.empty() ? 0 : monotonicSeconds() - published.back().absTime;
        });
        pumpUntil([&] { return published.size() >= size_t(rate / 2); });
        delegate->stopTimer();
        ASSERT_GE(published.size(), size_t(rate / 2));
        EXPECT_GE(published.front().absTime, start);
        for (size_t k = 1; k < published.size(); ++k) {
            ASSERT_NEAR(published[k].absTime - published[k - 1].absTime, 1.0 / rate, 1e-9) << k;
        }
        // None ahead of its time, and however late a tick comes it takes every sample due.
        EXPECT_GE(lagging, 0.0);
        EXPECT_LT(lagging, 0.1);
    }
}

TEST_F(AppDelegateTest, TheRateLabelShowsTheMeasuredRate) {
    auto delegate = launch();
    double now = 1700000000.0;
    delegate->graphView->setWallClock([&now] { return now; });
    delegate->applicationDidBecomeActive();
    for (int k = 0; k < 102; ++k) {
        now = 1700000000.0 + k * 0.01;
        accelerometer.deliver(0, 0, -1, k * 0.01);
    }
    EXPECT_EQ(delegate->graphView->mSamplingRate->text(), "100hz");
}

TEST_F(AppDelegateTest, SecondMarksFollowASensorsOwnClock) {
    accelerometer.deviceTimestamps = true;
    auto delegate = launch();
    delegate->applicationDidBecomeActive();
    // The sensor's clock is an hour behind the moment its samples are processed.
    const double wallBefore = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    const double sensorNow = monotonicSeconds() - 3600.0;
    accelerometer.deliver(0, 0, -1, sensorNow - 1.0);
    accelerometer.deliver(0, 0, -1, sensorNow);  // a new second: its slot gets a date
    const SampleHistory::Date &date = delegate->graphView->getTimestamp(-1);
    ASSERT_TRUE(date);
    const double wallAfter = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    EXPECT_GE(*date, wallBefore - 3600.0 - 1.0);
    EXPECT_LE(*date, wallAfter - 3600.0 + 1.0);
}

TEST_F(AppDelegateTest, ALostSensorIsShownAboveTheTracesUntilItIsBack) {
    auto delegate = launch();
    delegate->applicationDidBecomeActive();
    EXPECT_EQ(delegate->sourceNote(), "");
    accelerometer.lose("/dev/iio:device0 ended");
    EXPECT_EQ(delegate->sourceNote(), "Sensor lost — waiting for it to come back");
    accelerometer.comeBack();
    EXPECT_EQ(delegate->sourceNote(), "");

    delegate->setSourceNote("No accelerometer found — playing the demo recording");
    accelerometer.lose("gone");
    accelerometer.comeBack();
    EXPECT_EQ(delegate->sourceNote(), "No accelerometer found — playing the demo recording");
}

}  // namespace
