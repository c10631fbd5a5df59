#include "ui/OverlayLabel.h"

#include <QEvent>
#include <QPainter>
#include <QTimer>

void OverlayLabel::paintEvent(QPaintEvent *event) {
    if (mTakingPicture || !pictureIsCurrent()) {
        QLabel::paintEvent(event);
        if (!mTakingPicture) {
            // Qt refuses to render a widget from inside a paint event: after it, then.
            QTimer::singleShot(0, this, &OverlayLabel::takePicture);
        }
        return;
    }
    QPainter(this).drawPixmap(0, 0, mPicture);
}

bool OverlayLabel::pictureIsCurrent() const {
    const qreal ratio = devicePixelRatioF();
    return mPicture.size() == size() * ratio && mPicture.devicePixelRatio() == ratio &&
           mPictureText == text();
}

void OverlayLabel::takePicture() {
    if (pictureIsCurrent()) {
        return;
    }
    const qreal ratio = devicePixelRatioF();
    mPicture = QPixmap(size() * ratio);
    mPicture.setDevicePixelRatio(ratio);
    mPicture.fill(Qt::transparent);
    mTakingPicture = true;
    // Only the label's own painting: no background, no children.
    render(&mPicture, QPoint(), QRegion(), {});
    mTakingPicture = false;
    mPictureText = text();
}

void OverlayLabel::changeEvent(QEvent *event) {
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::FontChange:
    case QEvent::PaletteChange:
    case QEvent::EnabledChange:
    case QEvent::LanguageChange: mPicture = QPixmap(); break;
    default: break;
    }
    QLabel::changeEvent(event);
}
