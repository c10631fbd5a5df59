#include "spectrum/SpectrumView.h"
#include "spectrum/SpectrumViewController.h"
#include "support/Printers.h"
#include "ui/GraphView.h"
#include "ui/PanelSlide.h"
#include "ui/SegmentedControl.h"
#include "ui/Switch.h"
#include "ui/ViewAnimation.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>

namespace {

// A waveform view whose whole ring holds a sine of `hz` at a nominal 100 samples per second,
// phase zero at the first sample the spectrum reads (history offset 724).
class SpectrumViewTest : public ::testing::Test {
protected:
    SpectrumViewTest() {
        graph.setUpdatingIsEnabled(true);
        graph.setFilteringEnabled(false);
        graph.setMFrequency(100);
        panel.setGraphView(&graph);
        panel.resize(320, 416);
    }
    void fillSine(double hz, float rate = 100) {
        graph.setMFrequency(rate);
        for (int n = 0; n < 2048; ++n) {
            // Sample n lands at slot n; after 2048 samples offset i is slot i.
            const double t = double(n - SpectrumView::kFirstOffset) / rate;
            graph.updateHistoryWithX(float(std::sin(2 * M_PI * hz * t)), 0, 0);
        }
    }
    QImage draw() {
        QImage image(320, 416, QImage::Format_RGB32);
        panel.render(&image);
        return image;
    }

    GraphView graph;
    SpectrumView panel;
};

TEST_F(SpectrumViewTest, FiftyOneBucketsAtOneHundredHertz) {
    fillSine(5.0);
    const SpectrumBuckets s = panel.spectrumOfAxis(0);
    EXPECT_EQ(s.q, 10);
    EXPECT_EQ(s.formed, 51);
    EXPECT_EQ(s.bucket[0], 0.0);
    EXPECT_EQ(s.peakIndex, 6);  // 5 Hz is bin 51.2: bucket 6 holds bins 51 … 59
    EXPECT_FLOAT_EQ(float(s.peakIndex) * SpectrumView::kBucketWidth, 38.4f);
    EXPECT_NEAR(std::fmod(s.hz * s.q, 1.0), 0.0, 1e-12);  // a multiple of 1/q Hz
    const double scale = SpectrumView::kSpan / s.peak;
    EXPECT_NEAR(SpectrumView::curveY(scale, s.peak), 70.0, 1e-9);
    EXPECT_EQ(SpectrumView::curveY(scale, 0.0), 350.0);
}

TEST_F(SpectrumViewTest, TheLabelFollowsTheRealPartNotTheBucket) {
    fillSine(12.3);
    const SpectrumBuckets s = panel.spectrumOfAxis(0);
    EXPECT_EQ(s.peakIndex, 13);
    EXPECT_EQ(SpectrumView::peakLabel(0, s.hz), "X: 12.70 Hz");
    EXPECT_EQ(SpectrumView::peakLabel(2, 0.1), "Z: 0.10 Hz");
    EXPECT_EQ(SpectrumView::peakLabel(1, 0.125), "Y: 0.12 Hz");  // C rounds an exact tie to even
}

TEST(SpectrumViewLabel, NeverAbove120AndStackedPerAxis) {
    for (int axis = 0; axis < 3; ++axis) {
        const QPointF at = SpectrumView::labelPosition(6, 70.0, axis);
        EXPECT_EQ(at.y(), 120.0 + 14 * axis);
        EXPECT_FLOAT_EQ(float(at.x()), 6 * 6.4f + 5.0f + 2.0f * axis);
    }
    EXPECT_EQ(SpectrumView::labelPosition(0, 300.0, 1).y(), 314.0);
}

TEST_F(SpectrumViewTest, TheSegmentsRedrawTheSameThreeCurves) {
    fillSine(7.0);
    const QRect curves(0, 100, 320, 316);  // below the controls, whose selection shows
    const QImage first = draw().copy(curves);
    panel.mSegment->setSelectedSegmentIndex(2);
    panel.segChange();
    EXPECT_TRUE(draw().copy(curves) == first);
}

TEST_F(SpectrumViewTest, EmptyHistoryAndFastRatesDrawFlat) {
    SpectrumBuckets s = panel.spectrumOfAxis(1);  // all zero
    EXPECT_EQ(s.peak, 0.0);
    // Flat on the base line at 350 and nothing above it; no label, which would start just
    // below the line, above the bucket numbers at 360.
    const QImage flat = draw();
    const auto whiteRows = [&flat](int from, int to) {
        for (int y = from; y < to; ++y) {
            for (int x = 0; x < flat.width(); ++x) {
                if (flat.pixel(x, y) != qRgb(255, 255, 255)) {
                    return false;
                }
            }
        }
        return true;
    };
    EXPECT_TRUE(whiteRows(100, 348));
    EXPECT_TRUE(whiteRows(352, 359));
    for (int x = 1; x < 313; ++x) {
        EXPECT_NE(flat.pixel(x, 350), qRgb(255, 255, 255)) << "x " << x;
    }

    fillSine(5.0, 2000.0f);  // above 1024 samples/s: one bin per bucket, never zero
    s = panel.spectrumOfAxis(0);
    EXPECT_EQ(s.q, 1);
    EXPECT_FALSE(std::isnan(s.hz));
    draw();

    fillSine(5.0, 50.0f);  // below ~94 Hz: fewer buckets; the rest lie on the base line
    s = panel.spectrumOfAxis(0);
    EXPECT_EQ(s.q, 20);
    EXPECT_EQ(s.formed, 26);
    EXPECT_EQ(s.bucket[40], 0.0);
}

// Counts the paints that a view receives.
struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST_F(SpectrumViewTest, RefreshesOnlyWhileOpenAndSwitchedOn) {
    ASSERT_NE(panel.mTimer, nullptr);
    EXPECT_EQ(panel.mTimer->interval(), 10000);
    EXPECT_FALSE(panel.isRefreshing());  // as loaded: closed
    panel.show();
    QApplication::processEvents();
    PaintCounter counter;
    panel.installEventFilter(&counter);
    const auto tickAndCount = [&] {
        QApplication::processEvents();
        counter.paints = 0;
        panel.ticked();
        QApplication::processEvents();
        return counter.paints;
    };
    EXPECT_EQ(tickAndCount(), 0);
    // Drawing schedules no further drawing (the spinner never repaints the view behind it).
    panel.update();
    QApplication::processEvents();
    counter.paints = 0;
    QApplication::processEvents();
    EXPECT_EQ(counter.paints, 0);
    panel.setAllowRefresh(true);
    EXPECT_EQ(tickAndCount(), 1);
    panel.mSwitch->setOn(false);
    EXPECT_EQ(tickAndCount(), 0);
    panel.mSwitch->setOn(true);
    panel.doneClicked();
    EXPECT_FALSE(panel.isRefreshing());
    EXPECT_EQ(tickAndCount(), 0);
    EXPECT_NE(ViewAnimation::animationForKey(&panel, PanelSlide::kKey), nullptr);
}

TEST(SpectrumViewController, HandsOverToItsView) {
    SpectrumViewController controller;
    GraphView graph;
    controller.setGraphView(&graph);
    controller.setAllowRefresh(true);
    EXPECT_EQ(controller.view(), controller.spectrumView());
    EXPECT_TRUE(controller.spectrumView()->isRefreshing());
}

}  // namespace
