#include "ui/GraphView.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include <gtest/gtest.h>

namespace {

class GraphViewScrolling : public ::testing::Test {
protected:
    GraphViewScrolling() {
        view.resize(320, 416);
        view.setUpdatingIsEnabled(true);
        for (int k = 0; k < 1000; ++k) {
            view.updateHistoryWithX(0, 0, 0);
        }
        view.setUpdatingIsEnabled(false);  // paused at ring position 1000
    }
    GraphView view;
};

TEST_F(GraphViewScrolling, TheFirstMoveOnlyCountsThenTheRingFollows) {
    view.touchesBegan(100);
    view.touchesMoved(110);  // a drag to the right: d = -10
    EXPECT_EQ(view.indexDraggedSoFar(), -10);
    EXPECT_EQ(view.viewIndex(), 1000u);
    view.touchesMoved(125);
    EXPECT_EQ(view.indexDraggedSoFar(), -25);
    EXPECT_EQ(view.viewIndex(), 985u);
    view.touchesMoved(117.5f);  // back left: d = trunc(7.5) = 7
    EXPECT_EQ(view.viewIndex(), 992u);
    EXPECT_EQ(view.indexDraggedSoFar(), -18);
    EXPECT_EQ(view.lastTouchedX(), 117.5f);
}

TEST_F(GraphViewScrolling, ALeftwardDragAtTheNewestPositionChangesNothing) {
    view.touchesBegan(200);
    view.touchesMoved(150);
    view.touchesMoved(100);
    EXPECT_EQ(view.indexDraggedSoFar(), 0);
    EXPECT_EQ(view.viewIndex(), 1000u);
}

TEST_F(GraphViewScrolling, TheCounterIsClampedAndTheCrossingMoveStillScrolls) {
    view.touchesBegan(0);
    view.touchesMoved(1);     // counter -1, ring unchanged
    view.touchesMoved(1001);  // d = -1000: scrolls, counter -1001
    EXPECT_EQ(view.viewIndex(), 0u);
    view.touchesMoved(2001);  // crosses the limit: scrolls by the whole move, counter clamped
    EXPECT_EQ(view.indexDraggedSoFar(), -1748);
    EXPECT_EQ(view.viewIndex(), 1048u);  // (0 - 1000) mod 2048
    view.touchesMoved(2101);             // at the limit: nothing moves
    EXPECT_EQ(view.viewIndex(), 1048u);
    EXPECT_EQ(view.indexDraggedSoFar(), -1748);
    view.touchesMoved(1101);  // forward again from the limit: counter first
    EXPECT_EQ(view.indexDraggedSoFar(), -748);
    EXPECT_EQ(view.viewIndex(), 1048u);
    view.touchesMoved(0);  // forward past the newest: scrolls, counter clamped at 0
    EXPECT_EQ(view.indexDraggedSoFar(), 0);
    EXPECT_EQ(view.viewIndex(), (1048u + 1101u) % 2048u);
}

// Scrolling moves only what is drawn: the ring keeps its order for every reader (exports, upload,
// stream) and recording resumes after the newest sample.
TEST_F(GraphViewScrolling, ScrollingMovesTheViewButNotTheRing) {
    view.setUpdatingIsEnabled(true);
    view.setFilteringEnabled(false);
    for (int k = 1; k <= 2048; ++k) {  // sample k holds the value k
        view.updateHistoryWithX(float(k), 0, 0);
    }
    view.setUpdatingIsEnabled(false);
    ASSERT_EQ(view.nextIndex(), 1000u);
    view.touchesBegan(0);
    view.touchesMoved(1);
    view.touchesMoved(401);  // 400 samples back
    EXPECT_EQ(view.viewIndex(), 600u);
    EXPECT_EQ(view.nextIndex(), 1000u);
    for (int offset = 0; offset < 2048; ++offset) {
        ASSERT_EQ(view.getHistory(offset, 0), double(offset + 1)) << offset;
    }
    EXPECT_EQ(view.getLatestHistory(0), 2048.0);

    view.setUpdatingIsEnabled(true);
    EXPECT_EQ(view.viewIndex(), view.nextIndex());  // the newest samples are drawn again
    view.updateHistoryWithX(2049, 0, 0);
    EXPECT_EQ(view.getHistory(-1, 0), 2049.0);
    EXPECT_EQ(view.getHistory(-2, 0), 2048.0);
    EXPECT_EQ(view.getHistory(0, 0), 2.0);
}

TEST_F(GraphViewScrolling, MovesWhileRunningOnlyTrackThePointer) {
    view.setUpdatingIsEnabled(true);
    view.touchesBegan(10);
    view.touchesMoved(200);
    view.touchesMoved(300);
    EXPECT_EQ(view.lastTouchedX(), 300.0f);
    EXPECT_EQ(view.indexDraggedSoFar(), 0);
    EXPECT_EQ(view.nextIndex(), 1000u);
}

TEST_F(GraphViewScrolling, MouseDragsScroll) {
    const auto send = [this](QEvent::Type type, qreal x, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(x, 50), view.mapToGlobal(QPointF(x, 50)), Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(&view, &event);
    };
    send(QEvent::MouseButtonPress, 100, Qt::LeftButton);
    send(QEvent::MouseMove, 120, Qt::LeftButton);
    send(QEvent::MouseMove, 150, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, 150, Qt::NoButton);
    EXPECT_EQ(view.indexDraggedSoFar(), -50);
    EXPECT_EQ(view.viewIndex(), 970u);
    EXPECT_EQ(view.nextIndex(), 1000u);
}

}  // namespace
