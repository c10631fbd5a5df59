#pragma once

#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QTransform>

class QVariantAnimation;
class QWidget;
class ViewLayerEffect;

// What a phone's view layer has and a QWidget lacks: an alpha and a transform (a uniform scale and
// a rotation, both about the view's centre). Main thread only.
//
// Each value exists twice, as on the phone:
//  - the model: the final state, set at once by whoever starts an animation; alpha() and
//    transform() report it;
//  - the presentation: what is on screen now. While animations drive a value, the one started last
//    gives it; with none running, it equals the model.
// The presentation is made visible by a graphics effect the layer installs on the view (so the view
// must not carry another one): it paints the view's rendering with the presentation alpha,
// transformed about the centre. The effect's bounding rect grows with the transform, so a grown or
// turned view paints over its parent beyond its own geometry (clipped by the parent, as any child).
// Input still goes by the untransformed geometry.
//
// The layer is a child object of the view, made on the first write; a view without one reads as
// alpha 1, identity transform.
class ViewLayer : public QObject {
    Q_OBJECT

public:
    enum class Value { Alpha, Scale, Rotation };

    // Model values.
    static qreal alpha(const QWidget *view);
    static void setAlpha(QWidget *view, qreal alpha);
    // Rotation by `rotation` radians, then uniform scale by `scale`, about the view's centre.
    static QTransform transform(const QWidget *view);
    // Replaces the whole transform: a scale leaves no rotation behind, and the reverse.
    static void setTransform(QWidget *view, qreal scale, qreal rotation);

    // What is on screen now.
    static qreal presentationAlpha(const QWidget *view);
    static QTransform presentationTransform(const QWidget *view);

    // From now until it stops or is deleted, `animation`'s value (a number: alpha, scale factor or
    // radians) drives `value` of the presentation. Not owned; call once its start and end values
    // are set, before starting it.
    static void drive(QWidget *view, Value value, QVariantAnimation *animation);

    // The view's centre in its parent's coordinates (Qt places widgets by their top-left corner).
    static QPointF centre(const QWidget *view);
    // Moves the view so that its centre is at `centre`, to the nearest whole point.
    static void setCentre(QWidget *view, QPointF centre);

private:
    explicit ViewLayer(QWidget *view);
    static ViewLayer *find(const QWidget *view);
    static ViewLayer *layerOf(QWidget *view);

    struct Entry {
        qreal model;
        qreal presented;
        // Running or about to run; the last one wins. Held as plain objects: a driver stops
        // (and says so) from its base class's destructor, when it is no animation of its kind
        // any more and must not be taken for one.
        QList<QPointer<QObject>> drivers;
    };
    Entry &entry(Value value) { return mEntries[static_cast<int>(value)]; }
    const Entry &entry(Value value) const { return mEntries[static_cast<int>(value)]; }
    void present(Value value);  // presented = last driver's current value, or the model
    void changed();             // tells the effect to repaint (and how far)
    QTransform presentedTransform() const;

    QPointer<ViewLayerEffect> mEffect;                         // owned by the view
    Entry mEntries[3] = {{1, 1, {}}, {1, 1, {}}, {0, 0, {}}};  // by Value

    friend class ViewLayerEffect;
};
