#pragma once

#include <QWidget>

class QSlider;

// A slider with a float value (QSlider holds integers: this one keeps hundredths).
// `valueChanging` reports every move while dragged; `valueChanged` the value where it was
// released (or set from the keyboard).
class FloatSlider : public QWidget {
    Q_OBJECT
public:
    explicit FloatSlider(QWidget *parent = nullptr);

    void setRange(float minimum, float maximum);
    float minimum() const;
    float maximum() const;
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
