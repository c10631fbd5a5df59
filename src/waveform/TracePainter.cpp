#include "waveform/TracePainter.h"

#include "waveform/WaveformGeometry.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <cmath>

using namespace Waveform;

namespace TracePainter {

namespace {
QRectF clipOf(const QRectF &bounds) { return bounds.adjusted(0, -kClipMargin, 0, kClipMargin); }

// Draws `text` with its top-left corner at `corner`, in the painter's font and pen.
void drawTextAt(QPainter &context, QPointF corner, const QString &text, TextCache *texts) {
    if (texts) {
        context.drawStaticText(corner, texts->text(text));
    } else {
        context.drawText(QRectF(corner, QSizeF(200, 100)), Qt::AlignLeft | Qt::AlignTop, text);
    }
}
}  // namespace

const QStaticText &TextCache::text(const QString &string) {
    auto found = mTexts.find(string);
    if (found == mTexts.end()) {
        // Time labels change every second: a bounded cache keeps only the recent ones.
        if (mTexts.size() >= 64) {
            mTexts.clear();
        }
        QStaticText text(string);
        text.setTextFormat(Qt::PlainText);
        found = mTexts.insert(string, text);
    }
    return *found;
}

void drawStrip(QPainter &context, const QRectF &bounds, const Strip &strip) {
    drawBackdrop(context, bounds);
    drawForeground(context, bounds, strip);
}

void drawBackdrop(QPainter &context, const QRectF &bounds) {
    const float x = float(bounds.x());
    const float y = float(bounds.y());
    const float w = float(bounds.width());
    const float h = float(bounds.height());

    context.save();
    context.setClipRect(clipOf(bounds));
    context.fillRect(bounds, kBand);

    // Grid: four thin lines, the centre line, the borders; each group stroked on its own.
    const float m = middle(y, h);
    QPainterPath grid;
    for (int k : {-2, -1, 1, 2}) {
        const float gy = gridY(m, h, k);
        grid.moveTo(x, gy);
        grid.lineTo(x + w, gy);
    }
    context.strokePath(grid, QPen(kGrid, 1.0));
    context.setPen(QPen(kGrid, kCentreLineWidth));
    context.drawLine(QPointF(x, std::round(m)), QPointF(x + w, std::round(m)));
    context.setPen(QPen(kGrid, 1.0));
    context.drawLine(QPointF(x, y), QPointF(x + w, y));
    context.drawLine(QPointF(x, y + h), QPointF(x + w, y + h));
    context.restore();
}

void drawForeground(QPainter &context, const QRectF &bounds, const Strip &strip) {
    const float w = float(bounds.width());
    const float h = float(bounds.height());
    const float m = middle(float(bounds.y()), h);
    const QRectF clip = clipOf(bounds);

    context.save();
    context.setClipRect(clip);
    if (!strip.marks.empty()) {
        QPainterPath lines;
        QFont font = context.font();
        font.setPixelSize(kTimeLabelFontSize);
        context.setFont(font);
        context.setPen(kTimeLine);
        for (const TimeMark &mark : strip.marks) {
            const float lineX = pointX(strip.traceLeft, w, mark.point, strip.intervals);
            lines.moveTo(lineX, kTimeLineTop);
            lines.lineTo(lineX, kTimeLineBottom);
            // Texts are placed by their top-left corner. Most strips clip their labels away
            // whole; those are not laid out at all.
            const QRectF label(lineX + kTimeLabelDx, kTimeLabelY, 200, 40);
            if (label.intersects(clip)) {
                drawTextAt(context, label.topLeft(), mark.label, strip.texts);
            }
        }
        context.strokePath(lines, QPen(kTimeLine, 1.0));
    }

    QPolygonF trace(qsizetype(strip.values.size()));
    for (int j = 0; j < int(strip.values.size()); ++j) {
        trace[j] = QPointF(pointX(strip.traceLeft, w, j, strip.intervals),
                           traceY(m, h, strip.values[size_t(j)]));
    }
    context.setPen(QPen(kTrace, 1.0));
    context.drawPolyline(trace);

    QFont letterFont = context.font();
    letterFont.setPixelSize(kAxisLetterFontSize);
    context.setFont(letterFont);
    context.setPen(kAxisLetter);
    drawTextAt(context, QPointF(kAxisLetterX, std::round(m) + kAxisLetterDy),
               QString(QChar(char16_t(88 + strip.axis))), strip.texts);
    context.restore();
}

}  // namespace TracePainter
