#pragma once

#include "spectrum/SpectrumBuckets.h"
#include "ui/GraphView.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class ActivityIndicator;
class GraphView;
class QTimer;
class SegmentedControl;
class Switch;
namespace Ui {
class Spectrum;
}

// The spectrum panel's view: for each axis, the power spectrum of the 1024 samples before the
// visible window, in buckets of about one hertz, with the peak frequency labelled. Redraws when
// shown, on its refresh button and segmented control, and every 10 s while open and switched
// on. Main thread only.
class SpectrumView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kFirstOffset = 724;  // history offsets 724 … 1747
    static constexpr double kRefreshSeconds = 10.0;
    static constexpr float kBucketWidth = 6.4f;  // points per bucket
    static constexpr double kBaseLine = 350.0;   // height of an empty bucket
    static constexpr double kSpan = 280.0;       // the largest bucket is drawn at 350 - 280
    static constexpr double kNumbersY = 360.0;   // bucket numbers, every fifth bucket
    static constexpr double kLabelTop = 120.0;   // the peak label is never higher

    explicit SpectrumView(QWidget *parent = nullptr);
    ~SpectrumView() override;

    void setGraphView(GraphView *graphView) { mGraphView = graphView; }
    void setAllowRefresh(bool allow) { mIsRefreshing = allow; }
    bool isRefreshing() const { return mIsRefreshing; }

    void startTimer();
    void stopTimer();
    void ticked();
    void segChange();
    void refershClick();
    void doneClicked();

    // The spectrum of one axis, as renderSpectrum computes it (reads the history, transforms).
    SpectrumBuckets spectrumOfAxis(int axis);
    // Computes and draws one axis.
    void renderSpectrum(int axis, QPainter &context);
    // "X: 5.00 Hz"
    static QString peakLabel(int axis, double hz);
    // Top-left corner of the peak label: beside the largest bucket, never above 120, stacked
    // 14 points per axis.
    static QPointF labelPosition(int peakIndex, double y, int axis);
    // Height of bucket k's point on the curve for the given scale.
    static double curveY(double scale, double bucket) { return kBaseLine - scale * bucket; }

    ActivityIndicator *mActivity = nullptr;
    Switch *mSwitch = nullptr;
    SegmentedControl *mSegment = nullptr;
    QTimer *mTimer = nullptr;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::unique_ptr<Ui::Spectrum> mUi;
    QPointer<GraphView> mGraphView;  // not owned
    bool mIsRefreshing = false;
    double re[SpectrumBuckets::kLength] = {};
    double im[SpectrumBuckets::kLength] = {};
};
