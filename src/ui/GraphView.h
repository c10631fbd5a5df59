#pragma once

#include "core/SampleHistory.h"
#include "core/ShakeAlarm.h"
#include "ui/AlertView.h"
#include "waveform/TracePainter.h"

#include <QElapsedTimer>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

class QAbstractButton;
class QLabel;
class QProgressBar;

// The waveform view. It owns the sample history and the shake alarm's state, draws the three
// strips (x, y, z) of the latest 300 samples with grid, optional time lines and needles, and
// lets the user drag back through the ring while recording is paused. Every reader of the
// history goes through the accessors here. It also carries the donation banner. Main thread
// only.
class GraphView : public QWidget, public AlertViewDelegate {
    Q_OBJECT
public:
    // Where the alarm sound comes from.
    static inline const QString kAlarmSound = QStringLiteral(":/sounds/alarm.wav");

    explicit GraphView(QWidget *parent = nullptr);
    ~GraphView() override;

    // Tests and benchmarks control the wall clock of the second marks.
    void setWallClock(SampleHistory::WallClock clock);

    // Records one sample unless paused: filters and stores it, marks new seconds, updates the
    // rate label, requests a redraw (after every sample, or about once a second) and advances
    // the alarm's count-downs.
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
    void setInputPrefiltered(bool prefiltered) { mHistory.setInputPrefiltered(prefiltered); }
    bool updatingIsEnabled() const { return mHistory.updatingIsEnabled(); }
    // Resuming also brings the view back to the newest samples.
    void setUpdatingIsEnabled(bool enabled);
    float frequency() const { return mHistory.frequency(); }
    void setMFrequency(float frequency) { mHistory.setMFrequency(frequency); }
    bool realTime() const { return mHistory.realTime(); }
    void setMRealTime(bool realTime) { mHistory.setMRealTime(realTime); }
    bool drawTime() const { return mHistory.drawTime(); }
    void setMDrawTime(bool drawTime);
    unsigned nextIndex() const { return mHistory.getNextIndex(); }
    // The ring position the drawing starts from: `nextIndex`, or the scrolled position while
    // paused. Scrolling moves only this; the ring keeps its order for every other reader.
    unsigned viewIndex() const { return (nextIndex() + mViewOffset) & SampleHistory::kMask; }
    const SampleHistory &history() const { return mHistory; }

    // Scroll distance in samples since the last reset: 0 (newest) down to -1748.
    qint32 indexDraggedSoFar() const { return mIndexDraggedSoFar; }
    void setMIndexDraggedSoFar(qint32 samples) { mIndexDraggedSoFar = samples; }
    float lastTouchedX() const { return mLastTouchedX; }

    // The shake alarm's state (switched by the delegate's toggleAlarm).
    ShakeAlarm &alarm() { return mAlarm; }
    const ShakeAlarm &alarm() const { return mAlarm; }
    float alarmLevel() const { return mAlarm.alarmLevel(); }
    void setMAlarmLevel(float level) { mAlarm.setMAlarmLevel(level); }

    // Draws the strip of one axis at ring position `fromIndex` into `bounds`, over its backdrop
    // (band and grid), which the view draws first.
    void drawHistory(unsigned axis, unsigned fromIndex, QPainter &context, const QRectF &bounds);

    // Scrolling, with the horizontal position of the touch (or mouse) in view points.
    void touchesBegan(float x);
    void touchesMoved(float x);
    void touchesEnded(float x);

    // Outlets, not owned: the measured-rate label, and the alarm's progress bar (0 to 1000),
    // message and button (red once tripped).
    QLabel *mSamplingRate = nullptr;
    QProgressBar *mProgressAlarm = nullptr;
    QLabel *mAlarmMessage = nullptr;
    QAbstractButton *mAlarmStopButton = nullptr;

    // The donation banner: slid in at load unless hidden for good (DONATE_HIDE), in Japanese
    // when the first preferred language is exactly "ja". Its two buttons ask first.
    static constexpr int kDonateTag = 200;      // "open the donation page?"
    static constexpr int kHideDonateTag = 100;  // "hide the banner for good?"
    // The banner's steps at load; called once the view has its place in the window.
    void awakeFromNib();
    void clickDonate();
    void clickCloseDonate();
    void alertViewClickedButtonAtIndex(AlertView *alertView, int buttonIndex) override;
    QWidget *mDonateView = nullptr;  // child of this view, placed by its centre
    QLabel *mDonateText = nullptr;

    // Needle images at the right end of the strips; children of this view.
    QLabel *ivNeedleX = nullptr;
    QLabel *ivNeedleY = nullptr;
    QLabel *ivNeedleZ = nullptr;

signals:
    // At every second mark: the number of samples in the last wall-clock second.
    void samplingRateMeasured(int samples);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    bool event(QEvent *event) override;

private:
    void advanceAlarm();
    void playAlarmSound();
    QLabel *needleOfAxis(unsigned axis) const;
    // Centres the needle of `axis` on the height of drawn value `value` in strip `bounds`.
    void moveNeedle(unsigned axis, float value, const QRectF &bounds);
    // Asks for a frame, at most one per refresh of the screen.
    void requestFrame();
    // Places the needles at the newest values and asks for the frame at once.
    void startFrame();
    // The view's background and the strips' backdrops at the view's size.
    const QPixmap &backdrop();
    void placeNeedles();
    void makeDonateBanner();
    void askDonateQuestion(int tag);

    SampleHistory mHistory;
    ShakeAlarm mAlarm;
    quint32 mAlarmSoundID = 0;       // system sound of the alarm; 0 until first created
    float mLastTouchedX = 0;         // horizontal position at the previous touch event
    qint32 mIndexDraggedSoFar = 0;   // 0 (newest) to -1748
    unsigned mViewOffset = 0;        // drawn position - nextIndex, modulo 2048; 0 unless scrolled
    QElapsedTimer mLastFrame;        // since the last frame was drawn
    QTimer mFrameTimer;              // brings a frame asked for too soon after the last one
    QPixmap mBackdrop;               // what of the view does not move: see backdrop()
    TracePainter::TextCache mTexts;  // the time labels and axis letters, laid out
};
