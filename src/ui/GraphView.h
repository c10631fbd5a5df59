#pragma once

#include "core/SampleHistory.h"

#include <QWidget>

class QLabel;

// The waveform view. It owns the sample history and shows the measured sampling rate in its
// rate label; every reader of the history goes through the accessors here. Main thread only.
class GraphView : public QWidget {
    Q_OBJECT
public:
    explicit GraphView(QWidget *parent = nullptr);

    // Tests and benchmarks control the wall clock of the second marks.
    void setWallClock(SampleHistory::WallClock clock);

    // Records one sample unless paused: filters and stores it, marks new seconds, updates the
    // rate label and requests a redraw (after every sample, or about once a second).
    void updateHistoryWithX(float x, float y, float z);

    double getHistory(int offset, int xyzIndex) const {
        return mHistory.getHistory(offset, xyzIndex);
    }
    double getLatestHistory(int xyzIndex) const { return mHistory.getLatestHistory(xyzIndex); }
    const SampleHistory::Date &getTimestamp(int offset) const {
        return mHistory.getTimestamp(offset);
    }

    bool filteringIsEnabled() const { return mHistory.filteringIsEnabled(); }
    void setFilteringEnabled(bool enabled) { mHistory.setFilteringEnabled(enabled); }
    bool updatingIsEnabled() const { return mHistory.updatingIsEnabled(); }
    void setUpdatingIsEnabled(bool enabled) { mHistory.setUpdatingIsEnabled(enabled); }
    float frequency() const { return mHistory.frequency(); }
    void setMFrequency(float frequency) { mHistory.setMFrequency(frequency); }
    bool realTime() const { return mHistory.realTime(); }
    void setMRealTime(bool realTime) { mHistory.setMRealTime(realTime); }
    bool drawTime() const { return mHistory.drawTime(); }
    void setMDrawTime(bool drawTime);

    // Trip level of the shake alarm, in units of the drawn trace value.
    float alarmLevel() const { return mAlarmLevel; }
    void setMAlarmLevel(float level) { mAlarmLevel = level; }

    const SampleHistory &history() const { return mHistory; }

    // The label that shows the measured rate ("100hz"); not owned.
    QLabel *mSamplingRate = nullptr;

signals:
    // At every second mark: the number of samples in the last wall-clock second.
    void samplingRateMeasured(int samples);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    SampleHistory mHistory;
    float mAlarmLevel = 0.0f;
};
