#pragma once

#include <QHash>
#include <QRectF>
#include <QStaticText>
#include <QString>

#include <span>

class QPainter;

// Draws one strip of the waveform: band, grid, time lines with their labels, the trace and
// the axis letter, in the colours and numbers of WaveformGeometry. It only paints: the values
// come ready to draw, so the window (from its ring) and the collection server (from a report)
// draw the same pixels for the same values. Any thread, on a QPainter of that thread; text
// needs a QGuiApplication.
namespace TracePainter {

// A second mark: a time line through trace point `point`, labelled `label`.
struct TimeMark {
    int point = 0;
    QString label;
};

// Texts laid out once and drawn many times. A view that draws a frame for every sample keeps
// one, so that its time labels and axis letters are not laid out again in every frame; the
// pixels are those of laying them out each time.
class TextCache {
public:
    const QStaticText &text(const QString &string);

private:
    QHash<QString, QStaticText> mTexts;
};

struct Strip {
    unsigned axis = 0;                // 0, 1, 2: lettered X, Y, Z
    std::span<const float> values;    // drawn values (Waveform::drawnValue), oldest first
    float traceLeft = 0;              // horizontal position of point 0
    float intervals = 299;            // point intervals across the strip's width
    std::span<const TimeMark> marks;  // in point order; none: no time lines
    TextCache *texts = nullptr;       // none: texts are laid out as they are drawn
};

// Draws `strip` into `bounds`, clipped to the strip and Waveform::kClipMargin above and below
// it: the backdrop, then the foreground. The painter's state is kept.
void drawStrip(QPainter &context, const QRectF &bounds, const Strip &strip);

// What of a strip does not move with its samples: the band, the grid and the borders. A view
// that draws many frames may keep it as a picture.
void drawBackdrop(QPainter &context, const QRectF &bounds);

// What is drawn over the backdrop: time lines with their labels, the trace and the axis letter.
void drawForeground(QPainter &context, const QRectF &bounds, const Strip &strip);

}  // namespace TracePainter
