#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "support/Printers.h"
#include "support/RecordingHost.h"
#include "support/TempConfig.h"
#include "ui/ConfigurationViewController.h"
#include "ui/FloatSlider.h"
#include "ui/SegmentedControl.h"
#include "ui/Switch.h"

#include <QCoreApplication>
#include <QLabel>
#include <QSlider>
#include <QWheelEvent>

#include <gtest/gtest.h>

namespace {

using namespace SettingsKeys;

class Configuration : public ::testing::Test {
protected:
    Configuration() {
        UserPref::setBoolean(DRAW_TIME, true);
        UserPref::setBoolean(REAL_TIME, false);
        UserPref::setBoolean(FILTER, true);
        UserPref::setInt(SCAN_RATE, 100);
        UserPref::setInt(ALARM_LEVEL, 3);
    }
    TempConfig config;
    RecordingHost host;
};

TEST_F(Configuration, ShowsTheStoredValues) {
    ConfigurationViewController panel(host, 0);
    EXPECT_TRUE(panel.mDrawTime->isOn());
    EXPECT_FALSE(panel.mRealTimeDrawing->isOn());
    EXPECT_TRUE(panel.mFilter->isOn());
    EXPECT_EQ(panel.mScanRate->value(), 100.0f);
    EXPECT_EQ(panel.mScanRateLabel->text(), "100");
    EXPECT_EQ(panel.mAlarmLevel->selectedSegmentIndex(), 2);  // level 3
    EXPECT_EQ(panel.mScanRate->minimum(), 1.0f);              // a rate of 0 is never offered
    EXPECT_EQ(panel.mScanRate->maximum(), 200.0f);
    EXPECT_EQ(ConfigurationViewController(host, 400).mScanRate->maximum(), 400.0f);
}

TEST_F(Configuration, TheSliderShowsWholeRatesAndStoresOnRelease) {
    ConfigurationViewController panel(host, 0);
    panel.mScanRate->setValue(57.9f);
    panel.scanRateChanging();
    EXPECT_EQ(panel.mScanRateLabel->text(), "57");
    EXPECT_EQ(UserPref::getInt(SCAN_RATE), 100);  // nothing stored while moving
    panel.scanRateChanged();
    EXPECT_EQ(UserPref::getInt(SCAN_RATE), 57);
    EXPECT_EQ(panel.mScanRateLabel->text(), "57");
}

// Whatever moves the slider, the label shows the rate the slider shows, and every change that is
// not a drag in progress stores it.
TEST_F(Configuration, EveryMoveOfTheSliderIsShownAndEveryFinishedOneStored) {
    ConfigurationViewController panel(host, 0);
    auto *slider = panel.mScanRate->findChild<QSlider *>();
    ASSERT_NE(slider, nullptr);

    slider->setSliderDown(true);  // a drag: the label follows every move, nothing is stored
    slider->setSliderPosition(4250);
    EXPECT_EQ(panel.mScanRateLabel->text(), "42");
    slider->setSliderPosition(6190);
    EXPECT_EQ(panel.mScanRateLabel->text(), "61");
    EXPECT_EQ(UserPref::getInt(SCAN_RATE), 100);
    slider->setSliderDown(false);  // released
    EXPECT_EQ(UserPref::getInt(SCAN_RATE), 61);

    const auto wheel = [slider](int steps) {
        QWheelEvent event(QPointF(5, 5), slider->mapToGlobal(QPointF(5, 5)), QPoint(),
                          QPoint(0, 120 * steps), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                          false);
        QCoreApplication::sendEvent(slider, &event);
    };
    wheel(1);
    const int rate = int(panel.mScanRate->value());
    EXPECT_NE(rate, 61);
    EXPECT_EQ(UserPref::getInt(SCAN_RATE), rate);
    EXPECT_EQ(panel.mScanRateLabel->text(), QString::number(rate));

    slider->triggerAction(QAbstractSlider::SliderPageStepSub);  // keyboard or a click beside
    EXPECT_EQ(UserPref::getInt(SCAN_RATE), rate - 10);
    EXPECT_EQ(panel.mScanRateLabel->text(), QString::number(rate - 10));
}

TEST_F(Configuration, EveryControlStoresAtOnceAndDoneAppliesInOrder) {
    ConfigurationViewController panel(host, 0);
    panel.mAlarmLevel->setSelectedSegmentIndex(0);
    panel.alarmLevelChanged();
    EXPECT_EQ(UserPref::getInt(ALARM_LEVEL), 1);
    panel.mRealTimeDrawing->click();  // a real click on the switch
    EXPECT_TRUE(UserPref::getBoolean(REAL_TIME));
    panel.mDrawTime->click();
    EXPECT_FALSE(UserPref::getBoolean(DRAW_TIME));
    panel.mFilter->click();
    EXPECT_FALSE(UserPref::getBoolean(FILTER));
    EXPECT_TRUE(host.calls.isEmpty());
    panel.done();
    EXPECT_EQ(host.calls,
              QStringList({"restoreRunningState", "reloadUserConfiguration", "initAccelerometer"}));
}

TEST_F(Configuration, TheTableHasItsThreeSections) {
    ConfigurationViewController panel(host, 0);
    EXPECT_EQ(panel.numberOfSectionsInTableView(panel.mTableView), 3);
    const QString titles[] = {"Animation", "Frequency", "Alarm", ""};
    const int rows[] = {3, 1, 1, 1};
    for (int section = 0; section < 4; ++section) {
        EXPECT_EQ(panel.titleForHeaderInSection(panel.mTableView, section), titles[section]);
        EXPECT_EQ(panel.numberOfRowsInSection(panel.mTableView, section), rows[section]);
    }
    EXPECT_EQ(panel.cellForRowAtIndexPath(panel.mTableView, {0, 1}), panel.mCellRealTime);
    EXPECT_EQ(panel.cellForRowAtIndexPath(panel.mTableView, {2, 0}), panel.mCellAlarm);
    EXPECT_EQ(panel.cellForRowAtIndexPath(panel.mTableView, {0, 3}), nullptr);
    EXPECT_EQ(panel.heightForRowAtIndexPath(panel.mTableView, {0, 3}), 120);
    EXPECT_EQ(panel.heightForRowAtIndexPath(panel.mTableView, {0, 0}), 44);
    EXPECT_EQ(panel.heightForRowAtIndexPath(panel.mTableView, {1, 0}), 70);
    // The table shows them: the cells sit in its rows, below their headers.
    ASSERT_NE(panel.mTableView->rowAt({1, 0}), nullptr);
    EXPECT_EQ(panel.mCellSamplingRate->parentWidget(), panel.mTableView->rowAt({1, 0}));
    EXPECT_EQ(panel.mTableView->rowAt({1, 0})->height(), 70);
}

}  // namespace
