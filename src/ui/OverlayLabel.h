#pragma once

#include <QLabel>
#include <QPixmap>

// A label over the live waveform, without a background of its own. Being transparent, it is painted
// again with every frame of the view below it; so it keeps a picture of itself and copies it,
// rather than laying out its text for every frame. The picture is made again after the text, size
// or style changes; until then the label paints itself as a plain one.
class OverlayLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    bool pictureIsCurrent() const;
    void takePicture();

    QPixmap mPicture;
    QString mPictureText;  // the text the picture shows
    bool mTakingPicture = false;
};
