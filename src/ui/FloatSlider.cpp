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
    connect(mSlider, &QSlider::sliderMoved, this,
            [this](int position) { emit valueChanging(float(position) / kSteps); });
    connect(mSlider, &QSlider::sliderReleased, this, [this] { emit valueChanged(value()); });
    // Keyboard and page steps change the value without a drag: they count as released at once.
    connect(mSlider, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove) {
            QMetaObject::invokeMethod(
                this, [this] { emit valueChanged(value()); }, Qt::QueuedConnection);
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
float FloatSlider::value() const { return float(mSlider->value()) / kSteps; }

void FloatSlider::setValue(float value) {
    if (!std::isfinite(value)) {
        value = minimum();
    }
    mSlider->setValue(int(std::lround(std::clamp(value, minimum(), maximum()) * kSteps)));
}
