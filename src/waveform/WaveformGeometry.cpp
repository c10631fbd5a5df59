#include "waveform/WaveformGeometry.h"

#include "core/Amplitude.h"

#include <cmath>

namespace Waveform {

QRectF stripRect(int axis, float width, float height) {
    const float pitch = height / 3.0f;
    const float h = height * 0.25f;
    const float offset = (pitch - h) * 0.5f;
    return QRectF(0.0, double(offset + float(axis) * pitch), double(width), double(h));
}

float gridY(float middle, float height, int k) {
    // Computed in double, as m + h × (-1/3) for the first line and m + (k / 6) × h for the rest.
    const double y = k == -2 ? double(middle) + double(height) * (-1.0 / 3.0)
                             : double(middle) + (double(k) / 6.0) * double(height);
    return std::round(float(y));
}

float drawnValue(double stored, bool filteringIsEnabled) {
    float v = float(stored / -3.0);
    if (filteringIsEnabled) {
        v = float(Amplitude::ampMultiply(v));
    }
    return v;
}

}  // namespace Waveform
