#include "core/ShakeAlarm.h"
#include "support/FakeSystemSound.h"
#include "support/LogCapture.h"
#include "support/Printers.h"
#include "ui/GraphView.h"

#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

// A running view at 100 Hz with the filter on, its alarm outlets connected, and the alarm
// sound counted instead of played.
class ShakeAlarmView : public ::testing::Test {
protected:
    ShakeAlarmView() {
        view.resize(320, 416);
        view.setUpdatingIsEnabled(true);
        view.setFilteringEnabled(true);
        view.setMFrequency(100);
        view.setMAlarmLevel(0.66f);
        view.mProgressAlarm = &progress;
        view.mAlarmMessage = &message;
        view.mAlarmStopButton = &button;
        progress.setRange(0, 1000);
    }
    void record(int samples, float x = 0) {
        for (int k = 0; k < samples; ++k) {
            view.updateHistoryWithX(x, 0, 0);
        }
    }
    void draw() {
        QImage image(320, 416, QImage::Format_RGB32);
        view.render(&image);
    }

    FakeSystemSound sound;
    QProgressBar progress;
    QLabel message;
    QPushButton button;
    GraphView view;
};

TEST(ShakeAlarm, ArmingTakesFiveSecondsOfSamplesWithItsProgress) {
    ShakeAlarm alarm;
    alarm.switchOn(100);
    EXPECT_EQ(alarm.alarmCountDown(), 500);
    EXPECT_EQ(alarm.alarmSoundRepeatCountDown(), 6000);
    std::vector<float> progress;
    for (int k = 0; k < 500; ++k) {
        const ShakeAlarm::Tick tick = alarm.countDown(100);
        ASSERT_TRUE(tick.arming);
        EXPECT_EQ(tick.armed, k == 499);
        progress.push_back(tick.progress);
    }
    EXPECT_EQ(progress.front(), 0.0f);
    EXPECT_EQ(progress[1], 1.0f / 500.0f);
    EXPECT_EQ(progress.back(), 499.0f / 500.0f);
    EXPECT_EQ(alarm.alarmCountDown(), 0);
    EXPECT_FALSE(alarm.countDown(100).arming);
}

// Rates the sampler replaces (0 and below count as 1 per second) or that overflow 32-bit products:
// arming still starts at 0 progress and takes its samples, and the sound keeps its period.
TEST(ShakeAlarm, UnusualRatesArmOnTheirOwnScale) {
    struct Case {
        float frequency;
        qint32 countDown, repeat, period;
    };
    const qint32 kMax = std::numeric_limits<qint32>::max();
    const Case cases[] = {
        {0.0f, 5, 60, 2},
        {-7.0f, 5, 60, 2},
        {1.0f, 5, 60, 2},
        {3.0e8f, 1500000000, kMax, 600000000},
        {5.0e8f, kMax, kMax, 1000000000},
        {2.147483647e9f, kMax, kMax, kMax},
    };
    for (const Case &c : cases) {
        ShakeAlarm alarm;
        alarm.switchOn(c.frequency);
        EXPECT_EQ(alarm.alarmCountDown(), c.countDown) << c.frequency;
        EXPECT_EQ(alarm.alarmSoundRepeatCountDown(), c.repeat) << c.frequency;
        const ShakeAlarm::Tick first = alarm.countDown(c.frequency);
        EXPECT_TRUE(first.arming) << c.frequency;
        EXPECT_EQ(first.progress, 0.0f) << c.frequency;
        const ShakeAlarm::Tick second = alarm.countDown(c.frequency);
        EXPECT_GE(second.progress, 0.0f) << c.frequency;
        EXPECT_LT(second.progress, 1.0f) << c.frequency;

        alarm.setMAlarmCountDown(0);
        alarm.setMIsAlarmBeeping(true);
        alarm.setMAlarmSoundRepeatCountDown(c.period);
        EXPECT_TRUE(alarm.countDown(c.frequency).playSound) << c.frequency;
        EXPECT_FALSE(alarm.countDown(c.frequency).playSound) << c.frequency;
    }
}

TEST(ShakeAlarm, TripsOnlyWhenFilteredArmedAndBeyondTheLevel) {
    LogCapture log;
    ShakeAlarm alarm;
    alarm.setMAlarmLevel(0.66f);
    EXPECT_FALSE(alarm.tripTest(5.0f, true));  // off
    alarm.switchOn(100);
    EXPECT_FALSE(alarm.tripTest(5.0f, true));  // arming
    alarm.setMAlarmCountDown(0);
    EXPECT_FALSE(alarm.tripTest(5.0f, false));  // the filter is off
    EXPECT_FALSE(alarm.tripTest(0.66f, true));  // at the level, not beyond
    EXPECT_TRUE(alarm.tripTest(-0.7f, true));
    EXPECT_TRUE(alarm.isAlarmBeeping());
    EXPECT_FALSE(alarm.tripTest(-9.0f, true));  // already tripped
    EXPECT_EQ(log.lines(), QStringList{"-0.700000,0.660000"});
}

TEST_F(ShakeAlarmView, ArmingShowsProgressThenHidesTheMessage) {
    view.alarm().switchOn(view.frequency());
    record(1);
    EXPECT_EQ(progress.value(), 0);
    EXPECT_FALSE(message.isHidden());
    record(249);
    EXPECT_EQ(progress.value(), 498);  // (500 - 251 + 1) / 500 of the way, as a per-mille
    record(250);
    EXPECT_EQ(view.alarm().alarmCountDown(), 0);
    EXPECT_TRUE(message.isHidden());
    EXPECT_TRUE(progress.isHidden());
}

// Armed at 100 Hz, then the rate lowered to 10 Hz by the configuration panel: the count-down left
// is longer than the new rate's five seconds; the bar shows no progress rather than a stale one.
TEST_F(ShakeAlarmView, ProgressBeyondItsRangeIsHeldToTheBar) {
    view.alarm().switchOn(view.frequency());
    record(100);
    ASSERT_GT(progress.value(), 0);
    view.setMFrequency(10);
    record(1);
    EXPECT_EQ(progress.value(), 0);
}

TEST_F(ShakeAlarmView, ADrawnShakeTripsAndTheSoundRepeatsEveryTwoSecondsForAMinute) {
    LogCapture log;
    view.alarm().switchOn(view.frequency());
    record(500);      // armed
    record(1, 0.5f);  // a shake: filtered 0.45 g, drawn value far beyond the level
    ASSERT_FALSE(view.alarm().isAlarmBeeping());
    draw();
    ASSERT_TRUE(view.alarm().isAlarmBeeping());
    EXPECT_EQ(button.styleSheet(), "background-color: red");
    EXPECT_EQ(log.lines().size(), 1);

    std::vector<int> plays;
    for (int k = 0; k < 6500; ++k) {
        const qsizetype before = sound.plays.size();
        record(1);
        if (sound.plays.size() != before) {
            plays.push_back(k);
        }
    }
    ASSERT_EQ(plays.size(), 30u);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(plays[size_t(i)], i * 200);
    }
    EXPECT_EQ(sound.created,
              QStringList{GraphView::kAlarmSound});  // created once, at the first play
    EXPECT_TRUE(view.alarm().isAlarmBeeping());      // stays tripped until switched off
}

TEST_F(ShakeAlarmView, SwitchingOffSilencesAtOnceAndOnReArms) {
    view.alarm().switchOn(100);
    view.alarm().setMAlarmCountDown(0);
    view.alarm().setMIsAlarmBeeping(true);
    record(1);
    EXPECT_EQ(sound.plays.size(), 1);
    view.alarm().switchOff();
    record(1000);
    EXPECT_EQ(sound.plays.size(), 1);
    view.alarm().switchOn(100);
    EXPECT_EQ(view.alarm().alarmCountDown(), 500);
    EXPECT_FALSE(view.alarm().isAlarmBeeping());
}

TEST_F(ShakeAlarmView, NoTripWithoutTheFilter) {
    view.setFilteringEnabled(false);
    view.alarm().switchOn(100);
    record(500);
    record(300, 2.9f);
    draw();
    EXPECT_FALSE(view.alarm().isAlarmBeeping());
}

TEST_F(ShakeAlarmView, CountDownsStandStillWhilePaused) {
    view.alarm().switchOn(100);
    record(100);
    view.setUpdatingIsEnabled(false);
    record(1000);
    EXPECT_EQ(view.alarm().alarmCountDown(), 400);
    view.alarm().setMAlarmCountDown(0);
    view.alarm().setMIsAlarmBeeping(true);
    record(1000);
    EXPECT_TRUE(sound.plays.isEmpty());
    EXPECT_EQ(view.alarm().alarmSoundRepeatCountDown(), 6000);
}

TEST_F(ShakeAlarmView, AFailedSoundIsCreatedAgainAtTheNextPlay) {
    sound.failCreations = 1;
    view.setMFrequency(1);  // 1 Hz: a play every 2 samples
    view.alarm().switchOn(1);
    view.alarm().setMAlarmCountDown(0);
    view.alarm().setMIsAlarmBeeping(true);
    record(3);
    EXPECT_EQ(sound.created.size(), 2);
    EXPECT_EQ(sound.plays, (QList<quint32>{0, 42}));  // the alarm carries on regardless
}

}  // namespace
