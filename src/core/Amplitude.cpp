#include "core/Amplitude.h"

#include <cmath>

namespace Amplitude {

double ampMultiply(float v) {
    const float exponent = v + 1.0f;
    return std::pow(10.0, double(exponent)) - 10.0;
}

double ampLiner(float v) { return double(v * 20.0f); }

double ampLog10(float v) {
    const double sign = v < 0 ? -1.0 : 1.0;
    return sign * std::log10(std::fabs(double(v)) + 1.0) * 50.0;
}

double ampLogN(float v) {
    const double sign = v < 0 ? -1.0 : 1.0;
    return sign * std::log(std::fabs(double(v)) + 1.0) * 20.0;
}

}  // namespace Amplitude
