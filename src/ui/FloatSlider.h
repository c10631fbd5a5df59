#pragma once

#include <QWidget>

class QSlider;

// A slider with a float value (QSlider holds integers: this one keeps hundredths).
// `valueChanging` reports every move while dragged; `valueChanged` every change the user has
// finished: a released drag, a key, the mouse wheel, a click beside the handle. Setting the
// value from the program reports nothing.
class FloatSlider : public QWidget {
    Q_OBJECT
public:
    explicit FloatSlider(QWidget *parent = nullptr);

    void setRange(float minimum, float maximum);
    float minimum() const;
    float maximum() const;
    // What the slider shows, also in the middle of a move (before QSlider takes it as value).
    float value() const;
    // Held to the range.
    void setValue(float value);

signals:
    void valueChanging(float value);
    void valueChanged(float value);

private:
    static constexpr float kSteps = 100.0f;  // steps per unit
    QSlider *mSlider;
};
