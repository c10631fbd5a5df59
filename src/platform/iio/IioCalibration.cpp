#include "platform/iio/IioCalibration.h"

Acceleration IioCalibration::toAcceleration(const std::array<int64_t, 3> &raw,
                                            double timestamp) const {
    std::array<double, 3> chip{};
    for (int a = 0; a < 3; ++a) {
        chip[a] = (double(raw[a]) + offset[a]) * scale[a];
    }
    std::array<double, 3> device{};
    for (int row = 0; row < 3; ++row) {
        device[row] = mountMatrix[row][0] * chip[0] + mountMatrix[row][1] * chip[1] +
                      mountMatrix[row][2] * chip[2];
    }
    // The kernel reports proper acceleration (face up: z = +9.8 m/s²), as Qt Sensors does.
    return accelerationFromSensor(device[0], device[1], device[2], timestamp);
}
