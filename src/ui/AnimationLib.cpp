#include "ui/AnimationLib.h"

#include "ui/ViewAnimation.h"
#include "ui/ViewLayer.h"

#include <QTimer>
#include <QVariantAnimation>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <iterator>

namespace {
constexpr int kNudgeMs = 500;
// Sideways offsets of the nudge's points from the centre; equal time between neighbours.
constexpr int kNudgeOffsets[] = {0, -3, 3, -5, 5, -3, 3, -5, 5, -3, 3, 0};

int milliseconds(float seconds) {
    return std::max(0, static_cast<int>(std::lround(seconds * 1000.0)));
}

// The phone converts with double maths and keeps a float.
float radians(float degrees) { return static_cast<float>(degrees * 3.141592653589793 / 180.0); }

QEasingCurve timingFunction(const QString &name) {
    if (name == QLatin1String("easeIn")) {
        return ViewAnimation::easeIn();
    }
    if (name == QLatin1String("easeOut")) {
        return ViewAnimation::easeOut();
    }
    if (name == QLatin1String("easeInEaseOut")) {
        return ViewAnimation::easeInEaseOut();
    }
    return QEasingCurve(QEasingCurve::Linear);
}

// Moves the view's centre; QPointF values rounded once per frame, so a path passes its points
// exactly rather than truncated towards them.
QVariantAnimation *centreAnimation(QWidget *view, int duration, const QEasingCurve &curve) {
    auto *animation = new QVariantAnimation;
    animation->setDuration(duration);
    animation->setEasingCurve(curve);
    QObject::connect(
        animation, &QVariantAnimation::valueChanged, view,
        [view](const QVariant &centre) { ViewLayer::setCentre(view, centre.toPointF()); });
    return animation;
}

// Drives one of the view's layer values from `from` to `to`.
QVariantAnimation *layerAnimation(QWidget *view, ViewLayer::Value value, qreal from, qreal to,
                                  int duration, const QEasingCurve &curve) {
    auto *animation = new QVariantAnimation;
    animation->setDuration(duration);
    animation->setEasingCurve(curve);
    animation->setStartValue(from);
    animation->setEndValue(to);
    ViewLayer::drive(view, value, animation);
    return animation;
}
}  // namespace

void AnimationLib::fadeOut(QWidget *view, float duration) {
    auto *animation = layerAnimation(view, ViewLayer::Value::Alpha, 1.0, 0.0,
                                     milliseconds(duration), QEasingCurve::Linear);
    ViewLayer::setAlpha(view, 0.0);
    ViewAnimation::add(view, kFadeOutKey, animation);
}

void AnimationLib::fadeIn(QWidget *view, float duration) {
    auto *animation = layerAnimation(view, ViewLayer::Value::Alpha, 0.0, 1.0,
                                     milliseconds(duration), QEasingCurve::Linear);
    ViewLayer::setAlpha(view, 1.0);
    ViewAnimation::add(view, kFadeInKey, animation);
}

void AnimationLib::move(QWidget *view, QPointF start, QPointF end, float duration,
                        const QString &easeType) {
    auto *animation = centreAnimation(view, milliseconds(duration), timingFunction(easeType));
    animation->setStartValue(start);
    animation->setEndValue(end);
    ViewLayer::setCentre(view, end);
    ViewAnimation::add(view, kMoveKey, animation);
}

void AnimationLib::moveEaseOut(QWidget *view, QPointF start, QPointF end, float duration) {
    move(view, start, end, duration, QStringLiteral("easeOut"));
}

void AnimationLib::moveEaseIn(QWidget *view, QPointF start, QPointF end, float duration) {
    move(view, start, end, duration, QStringLiteral("easeIn"));
}

void AnimationLib::nudge(QWidget *view) {
    QPointF centre = ViewLayer::centre(view);
    // A nudge cut short leaves the view off its centre: shake about the centre it had then.
    if (auto *previous =
            qobject_cast<QVariantAnimation *>(ViewAnimation::animationForKey(view, kNudgeKey))) {
        centre = previous->startValue().toPointF();
    }
    auto *animation = centreAnimation(view, kNudgeMs, ViewAnimation::easeOut());
    const qreal last = std::size(kNudgeOffsets) - 1;
    for (std::size_t i = 0; i < std::size(kNudgeOffsets); ++i) {
        animation->setKeyValueAt(i / last, centre + QPointF(kNudgeOffsets[i], 0));
    }
    ViewAnimation::add(view, kNudgeKey, animation);
}

void AnimationLib::scale(QWidget *view, float from, float to, float duration) {
    auto *animation = layerAnimation(view, ViewLayer::Value::Scale, from, to,
                                     milliseconds(duration), ViewAnimation::easeOut());
    ViewLayer::setTransform(view, to, 0.0);
    ViewAnimation::add(view, kScaleKey, animation);
}

void AnimationLib::rotate(QWidget *view, float fromDegree, float toDegree, float duration) {
    auto *animation =
        layerAnimation(view, ViewLayer::Value::Rotation, radians(fromDegree), radians(toDegree),
                       milliseconds(duration), QEasingCurve::Linear);
    ViewLayer::setTransform(view, 1.0, radians(toDegree));
    ViewAnimation::add(view, kRotateKey, animation);
}

AnimationLib::AnimationLib(QObject *parent) : QObject(parent), mTimer(new QTimer(this)) {
    mTimer->setSingleShot(true);
    mTimer->setTimerType(Qt::PreciseTimer);  // steps are seconds apart; a coarse timer drifts 5 %
    connect(mTimer, &QTimer::timeout, this, &AnimationLib::ticked);
}

AnimationLib::~AnimationLib() { stopTimer(); }

void AnimationLib::startSequence(QWidget *view) {
    mTargetView = view;
    mCurrentTimerIndex = -1;
    mMaxTimerCount = 5;
    mIsAnimating = true;
    startTimer(0);
}

void AnimationLib::startTimer(float delay) {
    stopTimer();
    if (mCurrentTimerIndex < mMaxTimerCount) {
        const auto interval = std::chrono::milliseconds(
            std::max<qint64>(0, std::llround(delay * 1000.0 * mTimeScale)));
        mTimer->start(interval);
        ++mCurrentTimerIndex;
    }
}

void AnimationLib::stopTimer() { mTimer->stop(); }

void AnimationLib::ticked() {
    QWidget *view = mTargetView;
    if (!view) {
        mIsAnimating = false;
        return;
    }
    switch (mCurrentTimerIndex) {
    case 0:
        fadeIn(view, 0.5f);
        moveEaseIn(view, ViewLayer::centre(view), QPointF(100, 100), 0.5f);
        startTimer(0.5f);
        break;
    case 1:
        moveEaseIn(view, QPointF(100, 100), QPointF(200, 200), 2.2f);
        rotate(view, 0, 180, 2.2f);
        startTimer(2.2f);
        break;
    case 2:
        moveEaseOut(view, QPointF(200, 200), QPointF(200, 300), 1.5f);
        rotate(view, 180, 0, 1.5f);
        scale(view, 1, 2, 1.5f);
        startTimer(1.5f);
        break;
    case 3:
        moveEaseOut(view, QPointF(200, 300), QPointF(100, 100), 2.0f);
        scale(view, 2, 1, 2.0f);
        startTimer(2.0f);
        break;
    case 4:
        fadeOut(view, 0.5f);
        startTimer(0.5f);
        break;
    default: mIsAnimating = false; break;
    }
}
