#include "waveform/TracePainter.h"

#include "waveform/WaveformGeometry.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

using namespace Waveform;

namespace TracePainter {

void drawStrip(QPainter &context, const QRectF &bounds, const Strip &strip) {
    const float x = float(bounds.x());
    const float y = float(bounds.y());
    const float w = float(bounds.width());
    const float h = float(bounds.height());

    context.save();
    context.setClipRect(QRectF(x, y - kClipMargin, w, h + 2 * kClipMargin));
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
    const float centre = std::round(m);
    context.setPen(QPen(kGrid, kCentreLineWidth));
    context.drawLine(QPointF(x, centre), QPointF(x + w, centre));
    context.setPen(QPen(kGrid, 1.0));
    context.drawLine(QPointF(x, y), QPointF(x + w, y));
    context.drawLine(QPointF(x, y + h), QPointF(x + w, y + h));

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
            // Texts are placed by their top-left corner.
            context.drawText(QRectF(lineX + kTimeLabelDx, kTimeLabelY, 200, 40),
                             Qt::AlignLeft | Qt::AlignTop, mark.label);
        }
        context.strokePath(lines, QPen(kTimeLine, 1.0));
    }

    QPainterPath trace;
    for (int j = 0; j < int(strip.values.size()); ++j) {
        const QPointF point(pointX(strip.traceLeft, w, j, strip.intervals),
                            traceY(m, h, strip.values[size_t(j)]));
        if (j == 0) {
            trace.moveTo(point);
        } else {
            trace.lineTo(point);
        }
    }
    context.strokePath(trace, QPen(kTrace, 1.0));

    QFont letterFont = context.font();
    letterFont.setPixelSize(kAxisLetterFontSize);
    context.setFont(letterFont);
    context.setPen(kAxisLetter);
    context.drawText(QRectF(kAxisLetterX, centre + kAxisLetterDy, 200, 100),
                     Qt::AlignLeft | Qt::AlignTop, QString(QChar(char16_t(88 + strip.axis))));
    context.restore();
}

}  // namespace TracePainter
