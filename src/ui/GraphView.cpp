#include "ui/GraphView.h"

#include <QLabel>
#include <QPainter>

GraphView::GraphView(QWidget *parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void GraphView::setWallClock(SampleHistory::WallClock clock) {
    mHistory.setWallClock(std::move(clock));
}

void GraphView::updateHistoryWithX(float x, float y, float z) {
    const SampleHistory::Update result = mHistory.updateHistoryWithX(x, y, z);
    if (!result.recorded) {
        return;
    }
    if (result.measuredRate >= 0) {
        if (mSamplingRate) {
            mSamplingRate->setText(SampleHistory::samplingRateText(result.measuredRate));
        }
        emit samplingRateMeasured(result.measuredRate);
    }
    if (result.needsDisplay) {
        update();
    }
}

void GraphView::setMDrawTime(bool drawTime) {
    mHistory.setMDrawTime(drawTime);
    update();
}

void GraphView::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
}
