#pragma once

#include <QColor>
#include <QRectF>

// Where the waveform drawing puts things: the numbers, colours and the geometry that turns
// samples into points, as plain functions. Coordinates are view points; arithmetic is single
// precision where the drawing is.
namespace Waveform {

constexpr int kPoints = 300;           // points of a running trace (299 intervals)
constexpr int kWindowStart = 1748;     // 2048 - 300: slots from the ring position to the window
constexpr float kLeftShift = 30.0f;    // traces and time lines start this far left of the strip
constexpr float kClipMargin = 18.0f;   // the clip reaches this far above and below a strip
constexpr float kTimeLineTop = 18.0f;  // time lines run between these absolute heights
constexpr float kTimeLineBottom = 398.0f;
constexpr float kTimeLabelDx = -20.0f;  // label's top-left corner relative to (X, 5)
constexpr float kTimeLabelY = 5.0f;
constexpr int kTimeLabelFontSize = 10;
constexpr float kAxisLetterX = 10.0f;  // axis letter's top-left corner: (10, M - 24)
constexpr float kAxisLetterDy = -24.0f;
constexpr int kAxisLetterFontSize = 40;
constexpr float kCentreLineWidth = 3.0f;

// Behind and between the strips (the view's own background).
inline const QColor kViewBackground = QColor(0xd9, 0xdd, 0xe4);
inline const QColor kBand = QColor::fromRgbF(1.0f, 1.0f, 1.0f, 1.0f);
inline const QColor kGrid = QColor::fromRgbF(0.05f, 0.2f, 0.65f, 0.7f);
inline const QColor kTimeLine = QColor::fromRgbF(0.1f, 0.3f, 0.8f, 0.9f);
inline const QColor kTrace = QColor::fromRgbF(0.0f, 0.0f, 0.0f, 1.0f);
inline const QColor kAxisLetter = QColor::fromRgbF(0.2f, 0.2f, 0.2f, 0.3f);

// The strip of axis 0, 1 or 2 in a view of width W and height H: pitch H / 3, height H / 4,
// centred in its pitch.
QRectF stripRect(int axis, float width, float height);

// The middle of a strip, unrounded.
inline float middle(float top, float height) { return top + height * 0.5f; }

// The grid line k (-2, -1, 1 or 2 sixths of the strip height from the middle), rounded to a
// whole point.
float gridY(float middle, float height, int k);

// Horizontal position of point j of a trace whose point 0 lies at `left` and whose
// `intervals` point intervals span the width w.
inline float pointX(float left, float w, int j, float intervals) {
    return left + (float(j) / intervals) * w;
}

// The window's trace: 300 points across a strip at left x and width w, shifted kLeftShift left.
inline float traceX(float x, float w, int j) { return pointX(x - kLeftShift, w, j, 299.0f); }

// The drawn value of a stored sample: divided by -3 (upward is positive), then through the
// amplitude curve when the filter is on.
float drawnValue(double stored, bool filteringIsEnabled);

// Height of a drawn value v in a strip with the given (unrounded) middle and height.
inline float traceY(float middle, float height, float v) { return middle + v * height * 0.5f; }

}  // namespace Waveform
