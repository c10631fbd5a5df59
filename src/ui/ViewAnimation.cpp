#include "ui/ViewAnimation.h"

#include <QAbstractAnimation>
#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace {
QByteArray propertyName(const QString &key) { return "shakelog.animation." + key.toUtf8(); }

QEasingCurve bezier(qreal x1, qreal y1, qreal x2, qreal y2) {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(x1, y1), QPointF(x2, y2), QPointF(1, 1));
    return curve;
}
}  // namespace

namespace ViewAnimation {

QEasingCurve easeIn() { return bezier(0.42, 0.0, 1.0, 1.0); }
QEasingCurve easeOut() { return bezier(0.0, 0.0, 0.58, 1.0); }
QEasingCurve easeInEaseOut() { return bezier(0.42, 0.0, 0.58, 1.0); }

QAbstractAnimation *animationForKey(QWidget *view, const QString &key) {
    const QVariant held = view->property(propertyName(key));
    return qobject_cast<QAbstractAnimation *>(held.value<QObject *>());
}

void add(QWidget *view, const QString &key, QAbstractAnimation *animation) {
    if (QAbstractAnimation *previous = animationForKey(view, key)) {
        previous->stop();
        previous->deleteLater();
    }
    animation->setParent(view);
    view->setProperty(propertyName(key), QVariant::fromValue<QObject *>(animation));
    const QByteArray name = propertyName(key);
    QObject::connect(animation, &QAbstractAnimation::finished, view, [view, animation, name] {
        if (view->property(name).value<QObject *>() == animation) {
            view->setProperty(name, QVariant());
        }
        animation->deleteLater();
    });
    animation->start();
}

}  // namespace ViewAnimation
