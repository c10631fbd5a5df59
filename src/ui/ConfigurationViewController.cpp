#include "ui/ConfigurationViewController.h"

#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"
#include "ui/FloatSlider.h"
#include "ui/PanelHost.h"
#include "ui/PanelSlide.h"
#include "ui/SegmentedControl.h"
#include "ui/Switch.h"
#include "ui_ConfigurationView.h"

#include <QPushButton>

#include <cmath>

using namespace SettingsKeys;

namespace {
constexpr int kAlarmLevels = 5;  // levels 1 … 5: thresholds 0.33 … 1.65

// The rate the slider shows: its value truncated toward zero.
int wholeRate(float value) { return int(std::trunc(value)); }
}  // namespace

ConfigurationViewController::ConfigurationViewController(PanelHost &host, int maximumRate,
                                                         QObject *parent)
    : PanelController(parent),
      mHost(host),
      mUi(std::make_unique<Ui::ConfigurationView>()),
      mView(new QWidget) {
    mUi->setupUi(mView);
    mDrawTime = mUi->mDrawTime;
    mRealTimeDrawing = mUi->mRealTimeDrawing;
    mFilter = mUi->mFilter;
    mScanRate = mUi->mScanRate;
    mScanRateLabel = mUi->mScanRateLabel;
    mAlarmLevel = mUi->mAlarmLevel;
    mTableView = mUi->mTableView;
    mCellShowTimeline = mUi->mCellShowTimeline;
    mCellRealTime = mUi->mCellRealTime;
    mCellHighPass = mUi->mCellHighPass;
    mCellSamplingRate = mUi->mCellSamplingRate;
    mCellAlarm = mUi->mCellAlarm;

    // A rate of 0 is never offered: it would mean an interval of 1 / 0.
    mScanRate->setRange(1.0f, float(std::max(maximumRate, 200)));
    QStringList levels;
    for (int level = 1; level <= kAlarmLevels; ++level) {
        levels << QString::number(level);
    }
    mAlarmLevel->setSegments(levels);

    connect(mDrawTime, &Switch::toggled, this, &ConfigurationViewController::drawTimeChanged);
    connect(mRealTimeDrawing, &Switch::toggled, this,
            &ConfigurationViewController::realtimeDrawingChanged);
    connect(mFilter, &Switch::toggled, this, &ConfigurationViewController::filterChanged);
    connect(mScanRate, &FloatSlider::valueChanging, this,
            &ConfigurationViewController::scanRateChanging);
    connect(mScanRate, &FloatSlider::valueChanged, this,
            &ConfigurationViewController::scanRateChanged);
    connect(mAlarmLevel, &SegmentedControl::valueChanged, this,
            &ConfigurationViewController::alarmLevelChanged);
    connect(mUi->doneButton, &QPushButton::clicked, this, &ConfigurationViewController::done);
    viewDidLoad();
}

ConfigurationViewController::~ConfigurationViewController() { delete mView; }

void ConfigurationViewController::viewDidLoad() {
    // Showing the stored values must not store them again: no signals while loading.
    const QSignalBlocker blockDrawTime(mDrawTime), blockRealTime(mRealTimeDrawing),
        blockFilter(mFilter), blockRate(mScanRate), blockLevel(mAlarmLevel);
    mDrawTime->setOn(UserPref::getBoolean(DRAW_TIME));
    mRealTimeDrawing->setOn(UserPref::getBoolean(REAL_TIME));
    mScanRate->setValue(float(UserPref::getInt(SCAN_RATE)));
    mFilter->setOn(UserPref::getBoolean(FILTER));
    mScanRateLabel->setText(QString::asprintf("%d", UserPref::getInt(SCAN_RATE)));
    mAlarmLevel->setSelectedSegmentIndex(UserPref::getInt(ALARM_LEVEL) - 1);
    mTableView->setDataSource(this);
    mTableView->reloadData();
}

void ConfigurationViewController::drawTimeChanged() {
    UserPref::setBoolean(DRAW_TIME, mDrawTime->isOn());
}

void ConfigurationViewController::realtimeDrawingChanged() {
    UserPref::setBoolean(REAL_TIME, mRealTimeDrawing->isOn());
}

void ConfigurationViewController::filterChanged() { UserPref::setBoolean(FILTER, mFilter->isOn()); }

void ConfigurationViewController::scanRateChanging() {
    mScanRateLabel->setText(QString::asprintf("%d", wholeRate(mScanRate->value())));
}

void ConfigurationViewController::scanRateChanged() {
    UserPref::setInt(SCAN_RATE, wholeRate(mScanRate->value()));
    mScanRateLabel->setText(QString::asprintf("%d", UserPref::getInt(SCAN_RATE)));
}

void ConfigurationViewController::alarmLevelChanged() {
    UserPref::setInt(ALARM_LEVEL, mAlarmLevel->selectedSegmentIndex() + 1);
}

void ConfigurationViewController::done() {
    mHost.restoreRunningState();
    mHost.reloadUserConfiguration();
    mHost.initAccelerometer();
    PanelSlide::slideDown(mView);
}

int ConfigurationViewController::numberOfSectionsInTableView(TableView *) { return 3; }

int ConfigurationViewController::numberOfRowsInSection(TableView *, int section) {
    return section == 0 ? 3 : 1;
}

QString ConfigurationViewController::titleForHeaderInSection(TableView *, int section) {
    switch (section) {
    case 0: return QStringLiteral("Animation");
    case 1: return QStringLiteral("Frequency");
    case 2: return QStringLiteral("Alarm");
    default: return QString();
    }
}

QWidget *ConfigurationViewController::cellForRowAtIndexPath(TableView *, IndexPath indexPath) {
    switch (indexPath.section) {
    case 0: {
        QWidget *cells[] = {mCellShowTimeline, mCellRealTime, mCellHighPass};
        return indexPath.row >= 0 && indexPath.row < 3 ? cells[indexPath.row] : nullptr;
    }
    case 1: return mCellSamplingRate;
    case 2: return mCellAlarm;
    default: return nullptr;
    }
}

int ConfigurationViewController::heightForRowAtIndexPath(TableView *tableView,
                                                         IndexPath indexPath) {
    return TableView::rowHeightOfCell(cellForRowAtIndexPath(tableView, indexPath));
}
