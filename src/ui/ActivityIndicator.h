#pragma once

#include <QWidget>

class QTimer;

// A spinner: twelve fading spokes that turn while animating; blank when stopped. It paints its
// own background (opaque), so that starting and stopping it never repaints the view behind it.
class ActivityIndicator : public QWidget {
    Q_OBJECT
public:
    explicit ActivityIndicator(QWidget *parent = nullptr);

    void startAnimating();
    void stopAnimating();
    bool isAnimating() const;

    QSize sizeHint() const override { return {20, 20}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QTimer *mTimer;
    int mStep = 0;
    bool mAnimating = false;
};
