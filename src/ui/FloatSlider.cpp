#include "ui/FloatSlider.h"

#include <QHBoxLayout>
#include <QSlider>

#include <cmath>

FloatSlider::FloatSlider(QWidget *parent)
    : QWidget(parent), mSlider(new QSlider(Qt::Horizontal, this)) {
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(mSlider);
    setFocusProxy(mSlider);
    connect(mSlider, &QSlider::sliderMoved, this, [this] { emit valueChanging(value()); });
    connect(mSlider, &QSlider::sliderReleased, this, [this] { emit valueChanged(value()); });
    // Keys, the wheel and page clicks move the slider without a drag: each is a finished change.
    connect(mSlider, &QSlider::actionTriggered, this, [this] {
        if (!mSlider->isSliderDown()) {
            emit valueChanged(value());
        }
    });
}

void FloatSlider::setRange(float minimum, float maximum) {
    mSlider->setRange(int(std::lround(minimum * kSteps)), int(std::lround(maximum * kSteps)));
    mSlider->setPageStep(int(kSteps * 10));
    mSlider->setSingleStep(int(kSteps));
}

float FloatSlider::minimum() const { return float(mSlider->minimum()) / kSteps; }
float FloatSlider::maximum() const { return float(mSlider->maximum()) / kSteps; }
float FloatSlider::value() const { return float(mSlider->sliderPosition()) / kSteps; }

void FloatSlider::setValue(float value) {
    if (!std::isfinite(value)) {
        value = minimum();
    }
    mSlider->setValue(int(std::lround(std::clamp(value, minimum(), maximum()) * kSteps)));
}
