#include "core/DateText.h"
#include "ui/GraphView.h"
#include "waveform/TracePainter.h"
#include "waveform/WaveformGeometry.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

namespace {

using namespace Waveform;

constexpr int kWidth = 320;
constexpr int kHeight = 416;
constexpr double kT0 = 1700000000.0;

// A 320 × 416 waveform view, running, its ring filled with `value` on every axis.
class GraphViewDrawing : public ::testing::Test {
protected:
    GraphViewDrawing() {
        view.resize(kWidth, kHeight);
        view.setWallClock([this] { return now; });
        view.setUpdatingIsEnabled(true);
        view.setMFrequency(100);
        view.setMRealTime(true);
    }
    void fill(float value, int samples = 2048) {
        for (int k = 0; k < samples; ++k) {
            now += 0.01;
            view.updateHistoryWithX(value, value, value);
        }
    }
    QImage render() {
        QImage image(kWidth, kHeight, QImage::Format_RGB32);
        view.render(&image);
        return image;
    }
    // Dark grey to black: the trace, antialiased, over white or over the blue grid.
    static bool isInk(QRgb pixel) {
        return std::max({qRed(pixel), qGreen(pixel), qBlue(pixel)}) < 150;
    }
    // Rows of column x inside [top, bottom] whose pixel is (near) black.
    static std::set<int> inkRows(const QImage &image, int x, int top, int bottom) {
        std::set<int> rows;
        for (int y = top; y <= bottom; ++y) {
            if (isInk(image.pixel(x, y))) {
                rows.insert(y);
            }
        }
        return rows;
    }

    double now = kT0;
    GraphView view;
};

TEST(WaveformGeometry, StripsOfA416PointView) {
    const float tops[] = {17.3333f, 156.0f, 294.6667f};
    for (int axis = 0; axis < 3; ++axis) {
        const QRectF strip = stripRect(axis, 320, 416);
        EXPECT_NEAR(strip.top(), tops[axis], 1e-3);
        EXPECT_FLOAT_EQ(strip.height(), 104.0f);
        EXPECT_EQ(strip.width(), 320.0);
    }
    // The grid lines of the top strip, rounded to whole points around its middle 69.33.
    const float m = middle(17.3333f, 104.0f);
    EXPECT_EQ(gridY(m, 104, -2), 35.0f);
    EXPECT_EQ(gridY(m, 104, -1), 52.0f);
    EXPECT_EQ(gridY(m, 104, 1), 87.0f);
    EXPECT_EQ(gridY(m, 104, 2), 104.0f);
    EXPECT_FLOAT_EQ(traceX(0, 320, 0), -30.0f);
    EXPECT_FLOAT_EQ(traceX(0, 320, 299), 290.0f);
}

TEST_F(GraphViewDrawing, AZeroRingIsAFlatLineOnTheCentreWithOrWithoutTheFilter) {
    for (bool filter : {false, true}) {
        view.setFilteringEnabled(filter);
        const QImage image = render();
        for (int axis = 0; axis < 3; ++axis) {
            const QRectF strip = stripRect(axis, kWidth, kHeight);
            const int centre = int(std::floor(middle(float(strip.top()), float(strip.height()))));
            for (int x : {40, 150, 250}) {
                const std::set<int> rows = inkRows(image, x, int(strip.top()), int(strip.bottom()));
                EXPECT_TRUE(rows.count(centre))
                    << "axis " << axis << " x " << x << " filter " << filter;
                EXPECT_LE(rows.size(), 2u);
            }
        }
    }
}

TEST_F(GraphViewDrawing, ThreeGReachTheStripEdges) {
    view.setFilteringEnabled(false);
    fill(-3.0f);  // drawn value +1: the bottom edge
    QImage image = render();
    const QRectF strip = stripRect(1, kWidth, kHeight);
    // A one-point line on a whole point darkens the two rows around it.
    const int bottom = int(std::lround(strip.bottom()));
    EXPECT_EQ(inkRows(image, 150, int(strip.top()) - 5, int(strip.bottom()) + 5),
              (std::set<int>{bottom - 1, bottom}));
    fill(3.0f);  // -1: the top edge
    image = render();
    const int top = int(std::lround(strip.top()));
    EXPECT_EQ(inkRows(image, 150, int(strip.top()) - 5, int(strip.bottom()) + 5),
              (std::set<int>{top - 1, top}));
}

TEST_F(GraphViewDrawing, GridLinesHaveTheirColour) {
    const QImage image = render();
    // A one-point line on a whole point covers two pixel rows at half strength: the grid
    // colour at alpha 0.7 × 0.5 over white.
    const QColor expected = QColor::fromRgbF(1 - 0.35f + 0.05f * 0.35f, 1 - 0.35f + 0.2f * 0.35f,
                                             1 - 0.35f + 0.65f * 0.35f);
    const QColor pixel = image.pixelColor(200, 87);
    EXPECT_NEAR(pixel.red(), expected.red(), 4);
    EXPECT_NEAR(pixel.green(), expected.green(), 4);
    EXPECT_NEAR(pixel.blue(), expected.blue(), 4);
    EXPECT_EQ(image.pixelColor(200, 80), QColor(Qt::white));  // the band between lines
}

TEST_F(GraphViewDrawing, TimeLinesOnlyAtMarkedSlots) {
    view.setMDrawTime(true);
    fill(0.0f);
    // The second marks of the window, as trace positions.
    std::set<int> expected;
    const unsigned position = view.nextIndex();
    for (int i = 0; i < kPoints; ++i) {
        if (view.history().timestampAtSlot(position + kWindowStart + unsigned(i))) {
            // 300 points across the width, the first 30 points left of the view.
            expected.insert(int(std::lround(-30.0 + i * kWidth / 299.0)));
        }
    }
    ASSERT_EQ(expected.size(), 3u);  // one mark per 100 samples
    // Between the first and second strip only the view's background and the time lines show.
    const QImage image = render();
    std::set<int> found;
    for (int x = 1; x < kWidth - 1; ++x) {
        const QColor c = image.pixelColor(x, 140);
        if (c.blue() > c.red() + 60 && (found.empty() || *found.rbegin() < x - 2)) {
            found.insert(x);
        }
    }
    ASSERT_EQ(found.size(), expected.size());
    auto e = expected.begin();
    for (int x : found) {
        EXPECT_LE(std::abs(x - *e++), 1);
    }
    view.setMDrawTime(false);
    EXPECT_EQ(render().pixelColor(*expected.begin(), 140), kViewBackground);
}

TEST_F(GraphViewDrawing, NeedlesFollowTheNewestValueWhileRunningAndRestWhilePaused) {
    view.setFilteringEnabled(false);
    fill(0.0f, 2000);
    fill(-1.5f, 48);  // the newest samples: half way down
    render();
    // Half way down each 104-point strip: its top (17.33, 156, 294.67) plus three quarters.
    const double needleY[] = {95.33, 234.0, 372.67};
    for (int axis = 0; axis < 3; ++axis) {
        const double y = needleY[axis];
        QLabel *needle = axis == 0 ? view.ivNeedleX : axis == 1 ? view.ivNeedleY : view.ivNeedleZ;
        EXPECT_NEAR(needle->geometry().center().y() + 0.5, y, 1.0) << axis;
        EXPECT_EQ(needle->geometry().right(), kWidth - 1);
    }
    const QPoint rest = view.ivNeedleY->pos();
    view.setUpdatingIsEnabled(false);
    view.touchesBegan(100);
    view.touchesMoved(150);
    view.touchesMoved(200);  // scrolled back: the window now ends in zeros
    render();
    EXPECT_EQ(view.ivNeedleY->pos(), rest);
}

// The view as the plain drawing makes it, every strip drawn whole from the history: what the
// view's own frames, drawn over the backdrop it keeps, must equal pixel for pixel.
QImage fullDrawing(const GraphView &view) {
    QImage image(view.size(), QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), kViewBackground);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const int n = kPoints + (view.updatingIsEnabled() ? 0 : view.ivNeedleX->width());
    for (int axis = 0; axis < 3; ++axis) {
        std::vector<float> values;
        std::vector<TracePainter::TimeMark> marks;
        for (int j = 0; j < n; ++j) {
            const unsigned slot = view.viewIndex() + unsigned(kWindowStart + j);
            values.push_back(
                drawnValue(view.history().historyAtSlot(slot, axis), view.filteringIsEnabled()));
            const SampleHistory::Date &date = view.history().timestampAtSlot(slot);
            if (view.drawTime() && date) {
                marks.push_back({j, DateText::clockTime(*date)});
            }
        }
        const QRectF bounds = stripRect(axis, float(view.width()), float(view.height()));
        TracePainter::drawStrip(
            painter, bounds, {unsigned(axis), values, float(bounds.x()) - kLeftShift, 299, marks});
    }
    return image;
}

TEST_F(GraphViewDrawing, FramesOverTheKeptBackdropEqualTheFullDrawing) {
    view.setMDrawTime(true);
    const auto frame = [this] {
        QImage image(view.size(), QImage::Format_RGB32);
        view.render(&image, {}, {}, QWidget::DrawWindowBackground);  // without the needles
        return image;
    };
    // A long run of a growing, beating shake through the filter, with time lines, compared
    // every 37 samples; then without the filter, at another size, and paused and scrolled.
    for (int k = 0; k < 4000; ++k) {
        now += 0.01;
        const float a = float(k) / 4000.0f * std::sin(float(k) * 0.37f);
        view.updateHistoryWithX(a, -0.8f * a, 0.3f * a - 1.0f);
        if (k % 37 == 0) {
            ASSERT_EQ(frame(), fullDrawing(view)) << "after sample " << k;
        }
    }
    view.setFilteringEnabled(false);
    EXPECT_EQ(frame(), fullDrawing(view));
    view.resize(360, 500);
    EXPECT_EQ(frame(), fullDrawing(view));
    view.setUpdatingIsEnabled(false);
    view.touchesBegan(200);
    view.touchesMoved(190);
    view.touchesMoved(100);
    EXPECT_EQ(frame(), fullDrawing(view));
}

// Samples that come faster than the screen shows frames are gathered: at most one frame per
// refresh, and the newest sample is always drawn in the end (its needle placed).
TEST_F(GraphViewDrawing, FramesComeAtMostOncePerRefreshAndShowTheNewestSample) {
    struct PaintCounter : QObject {
        int paints = 0;
        bool eventFilter(QObject *, QEvent *event) override {
            paints += event->type() == QEvent::Paint;
            return false;
        }
    } counter;
    view.setFilteringEnabled(false);
    view.show();
    QCoreApplication::processEvents();
    view.installEventFilter(&counter);
    QElapsedTimer clock;
    clock.start();
    for (int k = 0; k < 200; ++k) {  // 200 samples as fast as they come, each shown if it may
        view.updateHistoryWithX(0, k == 199 ? -1.5f : 0.0f, 0);
        QCoreApplication::processEvents();
    }
    const double refreshes = double(clock.elapsed()) * view.screen()->refreshRate() / 1000.0;
    EXPECT_LE(counter.paints, refreshes + 2);
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 200) {  // the frame held back for the last sample comes
        QCoreApplication::processEvents();
    }
    EXPECT_NEAR(view.ivNeedleY->geometry().center().y() + 0.5, 234.0, 1.0);
}

}  // namespace
