#pragma once

#include "ui/PanelController.h"
#include "ui/TableView.h"

#include <memory>

class FloatSlider;
class PanelHost;
class QLabel;
class SegmentedControl;
class Switch;
namespace Ui {
class ConfigurationView;
}

// The configuration panel: drawing switches, filter, sampling rate and alarm level. Every
// control stores its setting the moment it changes; Done makes the running acquisition take
// them (the alarm level only at the next start) and slides the panel away. Main thread only.
class ConfigurationViewController : public PanelController, public TableViewDataSource {
    Q_OBJECT
public:
    // `maximumRate`: the highest sampling rate the acquisition can deliver (the slider's end).
    ConfigurationViewController(PanelHost &host, int maximumRate, QObject *parent = nullptr);
    ~ConfigurationViewController() override;

    QWidget *view() override { return mView; }

    // Actions of the controls.
    void drawTimeChanged();
    void realtimeDrawingChanged();
    void filterChanged();
    void scanRateChanging();
    void scanRateChanged();
    void alarmLevelChanged();
    void done();

    // Table data source.
    int numberOfSectionsInTableView(TableView *tableView) override;
    int numberOfRowsInSection(TableView *tableView, int section) override;
    QString titleForHeaderInSection(TableView *tableView, int section) override;
    QWidget *cellForRowAtIndexPath(TableView *tableView, IndexPath indexPath) override;
    int heightForRowAtIndexPath(TableView *tableView, IndexPath indexPath) override;

    Switch *mDrawTime = nullptr;
    Switch *mRealTimeDrawing = nullptr;
    Switch *mFilter = nullptr;
    FloatSlider *mScanRate = nullptr;
    QLabel *mScanRateLabel = nullptr;
    SegmentedControl *mAlarmLevel = nullptr;
    TableView *mTableView = nullptr;
    QWidget *mCellShowTimeline = nullptr;
    QWidget *mCellRealTime = nullptr;
    QWidget *mCellHighPass = nullptr;
    QWidget *mCellSamplingRate = nullptr;
    QWidget *mCellAlarm = nullptr;

private:
    void viewDidLoad();

    PanelHost &mHost;
    std::unique_ptr<Ui::ConfigurationView> mUi;
    QWidget *mView;  // owned; its parent is the window once inserted
};
