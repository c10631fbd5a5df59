#include "ui/ViewLayer.h"

#include <QGraphicsEffect>
#include <QPainter>
#include <QVariantAnimation>
#include <QWidget>

namespace {
// `transform` applied about the centre of `rect` rather than about the origin.
QTransform aboutCentre(const QTransform &transform, const QRectF &rect) {
    const QPointF c = rect.center();
    return QTransform::fromTranslate(-c.x(), -c.y()) * transform *
           QTransform::fromTranslate(c.x(), c.y());
}

QTransform rotationAndScale(qreal scale, qreal rotation) {
    return QTransform().rotateRadians(rotation).scale(scale, scale);
}
}  // namespace

// Paints the view as its layer presents it. A widget cannot paint itself transformed, but an
// effect paints it on the parent's behalf and may cover more than the widget's own rect.
class ViewLayerEffect : public QGraphicsEffect {
public:
    ViewLayerEffect(ViewLayer *layer, QObject *parent) : QGraphicsEffect(parent), mLayer(layer) {}

    // A new transform covers another area of the parent: both the old and the new one repaint.
    void presentationChanged() {
        updateBoundingRect();
        update();
    }

    QRectF boundingRectFor(const QRectF &rect) const override {
        return mLayer ? rect.united(aboutCentre(mLayer->presentedTransform(), rect).mapRect(rect))
                      : rect;
    }

protected:
    void draw(QPainter *painter) override {
        if (!mLayer) {
            drawSource(painter);
            return;
        }
        const qreal alpha = mLayer->entry(ViewLayer::Value::Alpha).presented;
        const QTransform transform = mLayer->presentedTransform();
        if (alpha <= 0) {
            return;
        }
        if (alpha >= 1 && transform.isIdentity()) {
            drawSource(painter);  // the plain path: no offscreen copy
            return;
        }
        QPoint offset;
        const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset, NoPad);
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->setOpacity(painter->opacity() * alpha);
        painter->setTransform(aboutCentre(transform, sourceBoundingRect(Qt::LogicalCoordinates)),
                              true);
        painter->drawPixmap(offset, pixmap);
        painter->restore();
    }

private:
    // Both belong to the view, which deletes its children (the layer) before its effect.
    QPointer<ViewLayer> mLayer;
};

ViewLayer::ViewLayer(QWidget *view) : QObject(view) {
    mEffect = new ViewLayerEffect(this, view);
    view->setGraphicsEffect(mEffect);
}

ViewLayer *ViewLayer::find(const QWidget *view) {
    return view->findChild<ViewLayer *>(QString(), Qt::FindDirectChildrenOnly);
}

ViewLayer *ViewLayer::layerOf(QWidget *view) {
    ViewLayer *layer = find(view);
    return layer ? layer : new ViewLayer(view);
}

qreal ViewLayer::alpha(const QWidget *view) {
    const ViewLayer *layer = find(view);
    return layer ? layer->entry(Value::Alpha).model : 1.0;
}

void ViewLayer::setAlpha(QWidget *view, qreal alpha) {
    ViewLayer *layer = layerOf(view);
    layer->entry(Value::Alpha).model = alpha;
    layer->present(Value::Alpha);
    // As on the phone, a view that is all but transparent is not hit by clicks.
    view->setAttribute(Qt::WA_TransparentForMouseEvents, alpha < 0.01);
}

QTransform ViewLayer::transform(const QWidget *view) {
    const ViewLayer *layer = find(view);
    if (!layer) {
        return QTransform();
    }
    return rotationAndScale(layer->entry(Value::Scale).model, layer->entry(Value::Rotation).model);
}

void ViewLayer::setTransform(QWidget *view, qreal scale, qreal rotation) {
    ViewLayer *layer = layerOf(view);
    layer->entry(Value::Scale).model = scale;
    layer->entry(Value::Rotation).model = rotation;
    layer->present(Value::Scale);
    layer->present(Value::Rotation);
}

qreal ViewLayer::presentationAlpha(const QWidget *view) {
    const ViewLayer *layer = find(view);
    return layer ? layer->entry(Value::Alpha).presented : 1.0;
}

QTransform ViewLayer::presentationTransform(const QWidget *view) {
    const ViewLayer *layer = find(view);
    return layer ? layer->presentedTransform() : QTransform();
}

QTransform ViewLayer::presentedTransform() const {
    return rotationAndScale(entry(Value::Scale).presented, entry(Value::Rotation).presented);
}

void ViewLayer::drive(QWidget *view, Value value, QVariantAnimation *animation) {
    ViewLayer *layer = layerOf(view);
    QObject *const driver = animation;
    layer->entry(value).drivers.append(driver);
    connect(animation, &QVariantAnimation::valueChanged, layer, [layer, value, driver] {
        const auto &drivers = layer->entry(value).drivers;
        if (!drivers.isEmpty() && drivers.last() == driver) {
            layer->present(value);
        }
    });
    // A stopped (finished or replaced) or deleted driver hands the value back to the one before
    // it, or to the model.
    connect(animation, &QAbstractAnimation::stateChanged, layer,
            [layer, value, driver](QAbstractAnimation::State state) {
                if (state == QAbstractAnimation::Stopped) {
                    layer->entry(value).drivers.removeAll(driver);
                    layer->present(value);
                }
            });
    connect(animation, &QObject::destroyed, layer, [layer, value] {
        layer->entry(value).drivers.removeAll(nullptr);
        layer->present(value);
    });
    layer->present(value);
}

void ViewLayer::present(Value value) {
    Entry &e = entry(value);
    e.drivers.removeAll(nullptr);
    const auto *last =
        e.drivers.isEmpty() ? nullptr : qobject_cast<const QVariantAnimation *>(e.drivers.last());
    const qreal presented = last ? last->currentValue().toReal() : e.model;
    if (presented != e.presented) {
        e.presented = presented;
        changed();
    }
}

void ViewLayer::changed() {
    if (mEffect) {
        mEffect->presentationChanged();
    }
}

QPointF ViewLayer::centre(const QWidget *view) { return QRectF(view->geometry()).center(); }

void ViewLayer::setCentre(QWidget *view, QPointF centre) {
    view->move((centre - QPointF(view->width() / 2.0, view->height() / 2.0)).toPoint());
}
