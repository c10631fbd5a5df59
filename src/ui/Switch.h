#pragma once

#include <QAbstractButton>

// An on/off switch in the phone's manner: a rounded track with a sliding knob. Checkable;
// `isOn()` is its state and `toggled` reports changes.
class Switch : public QAbstractButton {
    Q_OBJECT
public:
    explicit Switch(QWidget *parent = nullptr);

    bool isOn() const { return isChecked(); }
    void setOn(bool on) { setChecked(on); }

    QSize sizeHint() const override { return {51, 31}; }

protected:
    void paintEvent(QPaintEvent *event) override;
};
