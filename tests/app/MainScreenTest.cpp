#include "app/AppDelegate.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "sharing/SettingsViewController.h"
#include "support/Alerts.h"
#include "support/FakePanel.h"
#include "support/LogCapture.h"
#include "support/Printers.h"
#include "support/TempConfig.h"
#include "ui/ConfigurationViewController.h"
#include "ui/FloatSlider.h"
#include "ui/GraphView.h"
#include "ui/ImageCache.h"
#include "ui/PanelSlide.h"
#include "ui/SegmentedControl.h"
#include "ui/Switch.h"
#include "ui/ViewAnimation.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

using namespace SettingsKeys;
using Panel = AppDelegate::Panel;

class MainScreen : public ::testing::Test {
protected:
    MainScreen() {
        delegate.applicationDidFinishLaunching();
        for (Panel panel : {Panel::Info, Panel::Spectrum, Panel::Settings, Panel::Configuration}) {
            delegate.setPanelFactory(panel, [this](PanelHost &) {
                auto panel = std::make_unique<FakePanel>();
                lastPanel = panel.get();
                return panel;
            });
        }
        FakePanel::created = 0;
    }
    QImage iconOf(int item) const {
        return delegate.toolbar->actions()
            .at(item)
            ->icon()
            .pixmap(48, 48)
            .toImage()
            .convertToFormat(QImage::Format_ARGB32);
    }
    static QImage image(const char *name) {
        return ImageCache::sharedCache()->getImage(name).toImage().convertToFormat(
            QImage::Format_ARGB32);
    }
    bool running() const { return delegate.graphView->updatingIsEnabled(); }

    TempConfig config;
    LogCapture log;
    AppDelegate delegate{nullptr, false};
    FakePanel *lastPanel = nullptr;
};

TEST_F(MainScreen, TwoRunTogglesRestoreEverything) {
    ASSERT_TRUE(running());
    EXPECT_EQ(iconOf(0), image("pause.png"));
    EXPECT_TRUE(delegate.mScrollInstructionView->isHidden());

    delegate.graphView->setMIndexDraggedSoFar(-40);
    delegate.toggleRun();
    EXPECT_FALSE(running());
    EXPECT_EQ(iconOf(0), image("forward.png"));
    EXPECT_FALSE(delegate.mScrollInstructionView->isHidden());
    EXPECT_EQ(delegate.graphView->indexDraggedSoFar(), 0);

    delegate.graphView->setMIndexDraggedSoFar(-40);
    delegate.toggleRun();
    EXPECT_TRUE(running());
    EXPECT_EQ(iconOf(0), image("pause.png"));
    EXPECT_TRUE(delegate.mScrollInstructionView->isHidden());
    EXPECT_EQ(delegate.graphView->indexDraggedSoFar(), 0);
    EXPECT_EQ(delegate.mLabelNetwork->text(), "NETWORK: OFF");
}

TEST_F(MainScreen, APausingPanelPausesWhileOpenOnlyIfRecordingRan) {
    delegate.showSettings();
    EXPECT_FALSE(running());
    EXPECT_TRUE(UserPref::getBoolean(RUNNING_STATE));
    delegate.restoreRunningState();  // what the panel does as it closes
    EXPECT_TRUE(running());

    delegate.toggleRun();  // paused by the user
    delegate.showConfiguration();
    EXPECT_FALSE(UserPref::getBoolean(RUNNING_STATE));
    EXPECT_FALSE(running());
    delegate.restoreRunningState();
    EXPECT_FALSE(running());
}

// Space or the toolbar must not switch recording under a pausing panel (closing it would then
// leave recording in the wrong state), nor open a second panel over it.
TEST_F(MainScreen, UnderAPausingPanelTheRunAndPanelButtonsRest) {
    const QList<QAction *> actions = delegate.toolbar->actions();
    for (Panel panel : {Panel::Info, Panel::Settings, Panel::Configuration}) {
        delegate.graphView->setUpdatingIsEnabled(true);
        (panel == Panel::Info       ? delegate.showInfo()
         : panel == Panel::Settings ? delegate.showSettings()
                                    : delegate.showConfiguration());
        for (int item : {0, 2, 3, 4, 5}) {
            EXPECT_FALSE(actions[item]->isEnabled()) << int(panel) << " item " << item;
        }
        EXPECT_TRUE(actions[7]->isEnabled());  // the alarm switch stays at hand
        actions[0]->trigger();                 // what Space does
        EXPECT_FALSE(running());
        delegate.restoreRunningState();  // closed
        EXPECT_TRUE(running()) << int(panel);
        for (int item : {0, 2, 3, 4, 5}) {
            EXPECT_TRUE(actions[item]->isEnabled()) << int(panel) << " item " << item;
        }
    }
    delegate.showSpectrum();  // recording runs on under it, and can be switched
    actions[0]->trigger();
    EXPECT_FALSE(running());
}

TEST_F(MainScreen, ClosedPanelsStayBelowTheWindowWhenItGrows) {
    delegate.window->resize(320, 460);
    delegate.window->show();
    delegate.showInfo();
    QWidget *closed = lastPanel->view();
    PanelSlide::slideDown(closed);  // what Done does
    delegate.restoreRunningState();
    delegate.showSettings();
    QWidget *open = lastPanel->view();
    const QPoint openAt = open->pos();

    delegate.window->resize(320, 1400);
    EXPECT_GE(closed->y(), delegate.window->height());
    // The slide still under way ends below the window too.
    auto *slide = qobject_cast<QPropertyAnimation *>(
        ViewAnimation::animationForKey(closed, PanelSlide::kKey));
    ASSERT_NE(slide, nullptr);
    EXPECT_GE(slide->endValue().toPoint().y(), delegate.window->height());
    EXPECT_EQ(open->pos(), openAt);
    delegate.window->hide();
}

// The source note ("No accelerometer found …", "Sensor lost …") must be seen in the default
// window, not hidden behind the donation banner, and stay on the traces above the toolbar.
TEST_F(MainScreen, TheSourceNoteIsSeenBesideTheBanner) {
    delegate.setSourceNote("No accelerometer found — playing the demo recording");
    delegate.window->show();
    auto *note = delegate.window->findChild<QLabel *>("mSourceNote");
    ASSERT_NE(note, nullptr);
    ASSERT_TRUE(note->isVisible());
    const QRect banner = delegate.graphView->mDonateView->geometry();
    ASSERT_TRUE(delegate.graphView->rect().intersects(banner));  // the banner is shown
    EXPECT_FALSE(note->geometry().intersects(banner));
    EXPECT_TRUE(delegate.graphView->rect().contains(note->geometry()));
    delegate.window->hide();
}

TEST_F(MainScreen, TheSpectrumKeepsRecordingAndGetsTheWaveform) {
    delegate.showSpectrum();
    EXPECT_TRUE(running());
    ASSERT_NE(lastPanel, nullptr);
    EXPECT_EQ(lastPanel->graphView, delegate.graphView);
    EXPECT_TRUE(lastPanel->allowRefresh);

    delegate.showInfo();
    EXPECT_EQ(lastPanel->graphView, nullptr);  // the information panel gets no hand-over
    delegate.showSettings();
    EXPECT_EQ(lastPanel->graphView, delegate.graphView);
}

TEST_F(MainScreen, APanelIsMadeAndInsertedOnce) {
    delegate.showInfo();
    FakePanel *info = lastPanel;
    delegate.restoreRunningState();
    delegate.showInfo();
    EXPECT_EQ(FakePanel::created, 1);
    EXPECT_EQ(lastPanel, info);
    EXPECT_EQ(info->view()->parentWidget(), delegate.window);
    EXPECT_EQ(delegate.window->children().count(info->view()), 1);
    EXPECT_EQ(delegate.panelController(Panel::Info), info);
    // Inserted above everything the window holds.
    EXPECT_EQ(delegate.window->children().last(), info->view());
}

TEST_F(MainScreen, PanelsSlideUpFromBelowTheWindow) {
    delegate.window->resize(320, 460);
    delegate.showSettings();
    QWidget *view = lastPanel->view();
    auto *animation =
        qobject_cast<QPropertyAnimation *>(ViewAnimation::animationForKey(view, PanelSlide::kKey));
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(animation->duration(), 400);
    EXPECT_EQ(animation->easingCurve(), ViewAnimation::easeOut());
    EXPECT_EQ(animation->propertyName(), "pos");

    const QPointF c = QRectF(delegate.graphView->geometry()).center();
    const QSize size = view->size();
    const auto centreOf = [size](const QVariant &topLeft) {
        return QPointF(topLeft.toPoint()) + QPointF(size.width() / 2.0, size.height() / 2.0);
    };
    EXPECT_NEAR(centreOf(animation->startValue()).y(), 480 + size.height(), 1.0);
    EXPECT_NEAR(centreOf(animation->endValue()).y(), c.y() + 28, 1.0);
    EXPECT_NEAR(centreOf(animation->endValue()).x(), c.x(), 1.0);
    EXPECT_EQ(view->pos(), animation->endValue().toPoint());  // the final state is set at once

    PanelSlide::slideDown(view);  // the mirror image, under the same key
    auto *down =
        qobject_cast<QPropertyAnimation *>(ViewAnimation::animationForKey(view, PanelSlide::kKey));
    ASSERT_NE(down, nullptr);
    EXPECT_NE(down, animation);
    EXPECT_NEAR(centreOf(down->endValue()).y(), 480 + size.height(), 1.0);
}

TEST_F(MainScreen, PanelButtonsWaitForTheirPanels) {
    AppDelegate bare(nullptr, false);
    QList<QAction *> actions = bare.toolbar->actions();
    ASSERT_EQ(actions.size(), 8);
    for (int item : {0, 2, 3, 4, 5, 7}) {  // every panel exists
        EXPECT_TRUE(actions[item]->isEnabled()) << item;
    }
    bare.setPanelFactory(Panel::Info, {});
    EXPECT_FALSE(actions[2]->isEnabled());
    const bool recording = bare.graphView->updatingIsEnabled();
    bare.showInfo();  // no panel: nothing happens, recording is left alone
    EXPECT_EQ(bare.graphView->updatingIsEnabled(), recording);
    bare.setPanelFactory(Panel::Info, [](PanelHost &) { return std::make_unique<FakePanel>(); });
    EXPECT_TRUE(actions[2]->isEnabled());
}

TEST(SharingPanel, PausesRecordingAndSwitchesTheStreamLabelAtOnce) {
    TempConfig config;
    LogCapture log;
    AppDelegate delegate(nullptr, false);
    delegate.applicationDidFinishLaunching();
    UserPref::setString(IP, "127.0.0.1");  // never the first-run address in a test
    delegate.showSettings();
    auto *sharing =
        dynamic_cast<SettingsViewController *>(delegate.panelController(Panel::Settings));
    ASSERT_TRUE(sharing);
    EXPECT_FALSE(delegate.graphView->updatingIsEnabled());
    sharing->mSwitchTransmit->click();
    ASSERT_EQ(visibleAlerts().size(), 1);
    visibleAlerts()[0]->dismissWithClickedButtonIndex(1);  // Continue
    EXPECT_EQ(delegate.mLabelNetwork->text(), "NETWORK: ON");
    sharing->doneClicked();
    EXPECT_TRUE(delegate.graphView->updatingIsEnabled());
    sharing->mSwitchTransmit->click();  // off again before the test ends
}

TEST_F(MainScreen, TheAlarmSwitchShowsItsStateAndControls) {
    delegate.toggleAlarm();
    EXPECT_EQ(iconOf(7), image("ban.png"));
    EXPECT_EQ(delegate.mLabelAlarm->text(), "ALARM: ON");
    EXPECT_FALSE(delegate.mButtonAlarm->isHidden());
    EXPECT_FALSE(delegate.mProgressAlarm->isHidden());
    EXPECT_FALSE(delegate.mAlarmMessage->isHidden());
    const ShakeAlarm &alarm = delegate.graphView->alarm();
    EXPECT_TRUE(alarm.isAlarmOn());
    EXPECT_EQ(alarm.alarmCountDown(), 500);
    EXPECT_EQ(alarm.alarmSoundRepeatCountDown(), 6000);

    delegate.mButtonAlarm->click();  // the button on screen switches it off too
    EXPECT_EQ(iconOf(7), image("sound.png"));
    EXPECT_EQ(delegate.mLabelAlarm->text(), "ALARM: OFF");
    EXPECT_TRUE(delegate.mButtonAlarm->isHidden());
    EXPECT_FALSE(alarm.isAlarmOn());
    EXPECT_EQ(alarm.alarmCountDown(), 0);
    EXPECT_EQ(delegate.mButtonAlarm->styleSheet(), "background-color: lightgray");
}

TEST_F(MainScreen, TheConfigurationPanelAppliesOnDoneButTheAlarmLevelWaits) {
    AppDelegate app(nullptr, false);
    app.applicationDidFinishLaunching();
    app.showConfiguration();
    EXPECT_FALSE(app.graphView->updatingIsEnabled());  // paused while open
    auto *panel =
        dynamic_cast<ConfigurationViewController *>(app.panelController(Panel::Configuration));
    ASSERT_NE(panel, nullptr);
    panel->mFilter->setOn(false);
    panel->mAlarmLevel->setSelectedSegmentIndex(4);
    panel->alarmLevelChanged();
    panel->mScanRate->setValue(50.0f);
    panel->scanRateChanged();
    EXPECT_FALSE(UserPref::getBoolean(FILTER));        // stored at once ...
    EXPECT_TRUE(app.graphView->filteringIsEnabled());  // ... applied only by Done
    panel->done();
    EXPECT_TRUE(app.graphView->updatingIsEnabled());
    EXPECT_FALSE(app.graphView->filteringIsEnabled());
    EXPECT_EQ(app.graphView->frequency(), 50.0f);
    EXPECT_EQ(UserPref::getInt(ALARM_LEVEL), 5);
    EXPECT_EQ(app.graphView->alarmLevel(), 0.66f);  // until the next start
}

TEST_F(MainScreen, AlarmLevelsComeFromTheSetting) {
    for (int level : {1, 2, 3}) {
        UserPref::setInt(ALARM_LEVEL, level);
        AppDelegate launched(nullptr, false);
        launched.applicationDidFinishLaunching();
        EXPECT_EQ(launched.graphView->alarmLevel(), float(level) * 0.33f);
        EXPECT_NEAR(launched.graphView->alarmLevel(), 0.33 * level, 1e-6);
    }
}

}  // namespace
