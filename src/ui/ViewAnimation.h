#pragma once

#include <QEasingCurve>
#include <QString>

class QAbstractAnimation;
class QWidget;

// Animations of views under a key, standing in for layer animations: one running animation per
// (view, key); a new one under the same key stops and replaces the old. Main thread only.
namespace ViewAnimation {

// The phone's timing curves: ease-in = cubic Bézier (0.42, 0, 1, 1), ease-out = (0, 0, 0.58, 1).
QEasingCurve easeIn();
QEasingCurve easeOut();
// Ease-in-ease-out = (0.42, 0, 0.58, 1).
QEasingCurve easeInEaseOut();

// Starts `animation` (owned from now on: deleted when it ends or is replaced) under `key`.
void add(QWidget *view, const QString &key, QAbstractAnimation *animation);
// The animation running under `key`, or none.
QAbstractAnimation *animationForKey(QWidget *view, const QString &key);

}  // namespace ViewAnimation
