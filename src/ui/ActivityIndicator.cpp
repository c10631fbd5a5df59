#include "ui/ActivityIndicator.h"

#include <QPainter>
#include <QTimer>

ActivityIndicator::ActivityIndicator(QWidget *parent) : QWidget(parent), mTimer(new QTimer(this)) {
    mTimer->setInterval(80);
    connect(mTimer, &QTimer::timeout, this, [this] {
        mStep = (mStep + 1) % 12;
        update();
    });
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ActivityIndicator::startAnimating() {
    mAnimating = true;
    mTimer->start();
    update();
}

void ActivityIndicator::stopAnimating() {
    mAnimating = false;
    mTimer->stop();
    update();
}

bool ActivityIndicator::isAnimating() const { return mAnimating; }

void ActivityIndicator::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!mAnimating) {
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(rect().center());
    const qreal radius = std::min(width(), height()) / 2.0;
    for (int i = 0; i < 12; ++i) {
        QColor spoke = palette().color(QPalette::WindowText);
        spoke.setAlphaF(float(((i + 12 - mStep) % 12) + 1) / 12.0f);
        painter.setPen(QPen(spoke, radius / 5, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius * 0.9));
        painter.rotate(30);
    }
}
