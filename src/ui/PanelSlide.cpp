#include "ui/PanelSlide.h"

#include "ui/ViewAnimation.h"

#include <QPropertyAnimation>
#include <QWidget>

#include <algorithm>

namespace {
// Qt positions widgets by their top-left corner; the slide moves centres.
QPoint topLeftForCentre(QWidget *view, QPointF centre) {
    return (centre - QPointF(view->width() / 2.0, view->height() / 2.0)).toPoint();
}

// True on a panel from its slide up to its slide down.
constexpr char kOpenProperty[] = "panelSlideOpen";

void slide(QWidget *panel, QPointF from, QPointF to) {
    auto *animation = new QPropertyAnimation(panel, "pos");
    animation->setDuration(PanelSlide::kDurationMs);
    animation->setEasingCurve(ViewAnimation::easeOut());
    animation->setStartValue(topLeftForCentre(panel, from));
    animation->setEndValue(topLeftForCentre(panel, to));
    ViewAnimation::add(panel, PanelSlide::kKey, animation);
    panel->move(topLeftForCentre(panel, to));  // the final state, as the animation ends
}
}  // namespace

namespace PanelSlide {

int parkedCentreY(QWidget *panel) {
    const int windowHeight = panel->parentWidget() ? panel->parentWidget()->height() : 0;
    return std::max(kScreenHeight, windowHeight) + panel->height();
}

void slideUp(QWidget *panel, QWidget *graphView) {
    const QPointF c =
        graphView->mapTo(panel->parentWidget(), graphView->rect().center()) + QPointF(0.5, 0.5);
    panel->setProperty(kOpenProperty, true);
    slide(panel, QPointF(c.x(), parkedCentreY(panel)), QPointF(c.x(), c.y() + kBelowCentre));
}

void slideDown(QWidget *panel) {
    const QPointF c = QRectF(panel->geometry()).center();
    panel->setProperty(kOpenProperty, false);
    slide(panel, c, QPointF(c.x(), parkedCentreY(panel)));
}

void keepParked(QWidget *panel) {
    if (panel->property(kOpenProperty).toBool()) {
        return;
    }
    const QPoint parked = topLeftForCentre(
        panel, QPointF(QRectF(panel->geometry()).center().x(), parkedCentreY(panel)));
    if (auto *sliding =
            qobject_cast<QPropertyAnimation *>(ViewAnimation::animationForKey(panel, kKey))) {
        sliding->setEndValue(parked);
    }
    panel->move(parked);
}

}  // namespace PanelSlide
