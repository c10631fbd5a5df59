#include "ui/ProgressBarIndicator.h"

#include <QProgressBar>

#include <algorithm>
#include <cmath>

ProgressBarIndicator::ProgressBarIndicator(QProgressBar *bar, QObject *parent)
    : QObject(parent), mBar(bar) {
    if (mBar) {
        mBar->setRange(0, kSteps);
    }
}

void ProgressBarIndicator::setMaxValue(double maximum) { mMaximum = maximum > 0 ? maximum : 1.0; }

void ProgressBarIndicator::setProgress(float fraction) {
    if (!mBar || !std::isfinite(fraction)) {
        return;
    }
    const double share = std::clamp(double(fraction) / mMaximum, 0.0, 1.0);
    mBar->setValue(int(std::lround(share * kSteps)));
}
