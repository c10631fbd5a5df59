#include "server/ReportPlot.h"

#include "waveform/TracePainter.h"
#include "waveform/WaveformGeometry.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>

using namespace Waveform;

namespace ReportPlot {
namespace {

constexpr double kGravityThreshold = 0.5;  // g of mean acceleration: raw samples above it
constexpr float kMinMarkSpacing = 60.0f;   // pixels between time lines, at least
// Far outside the strip, yet finite: a hostile sample still gives a path Qt can stroke.
constexpr float kLargestDrawnValue = 1000.0f;

// Seconds between time lines: the first step that keeps the lines kMinMarkSpacing apart.
int markStep(int sampling, float pixelsPerPoint) {
    for (int step : {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1800, 3600}) {
        if (float(step * sampling) * pixelsPerPoint >= kMinMarkSpacing) {
            return step;
        }
    }
    return 0;
}

std::vector<TracePainter::TimeMark> timeMarks(int points, int sampling, float pixelsPerPoint) {
    std::vector<TracePainter::TimeMark> marks;
    const int step = sampling > 0 ? markStep(sampling, pixelsPerPoint) : 0;
    if (step == 0) {
        return marks;
    }
    for (int seconds = step; qint64(seconds) * sampling < points; seconds += step) {
        marks.push_back({seconds * sampling, QStringLiteral("%1 s").arg(seconds)});
    }
    return marks;
}

}  // namespace

bool looksFiltered(const ReportSignal &signal) {
    if (signal.empty()) {
        return true;
    }
    std::array<double, 3> sum{};
    for (const std::array<float, 3> &sample : signal) {
        for (size_t axis = 0; axis < 3; ++axis) {
            sum[axis] += double(sample[axis]);
        }
    }
    const double n = double(signal.size());
    return std::hypot(sum[0] / n, sum[1] / n, sum[2] / n) < kGravityThreshold;
}

QByteArray png(const ReportSignal &signal, int sampling) {
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    {
        QPainter painter(&image);
        painter.fillRect(image.rect(), kViewBackground);
        painter.setRenderHint(QPainter::Antialiasing, true);

        const int points = int(signal.size());
        const float intervals = float(std::max(points - 1, 1));
        const std::vector<TracePainter::TimeMark> marks =
            timeMarks(points, sampling, float(kWidth) / intervals);
        const bool filtered = looksFiltered(signal);
        std::vector<float> values(signal.size());
        for (unsigned axis = 0; axis < 3; ++axis) {
            for (size_t j = 0; j < signal.size(); ++j) {
                const float v = drawnValue(double(signal[j][axis]), filtered);
                values[j] = std::clamp(v, -kLargestDrawnValue, kLargestDrawnValue);
            }
            const QRectF bounds = stripRect(int(axis), float(kWidth), float(kHeight));
            TracePainter::drawStrip(painter, bounds,
                                    {axis, values, float(bounds.x()), intervals, marks});
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

}  // namespace ReportPlot
