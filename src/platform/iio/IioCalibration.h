#pragma once

#include "platform/Accelerometer.h"

#include <array>
#include <cstdint>

// Turns an IIO accelerometer's raw values into the application's acceleration: per axis
// (raw + offset) × scale gives m/s² (the kernel's unit for acceleration), the mount matrix turns
// the chip's axes into the device's, and the result is given in g with the sign flipped, as
// the Qt Sensors source does, so that a device lying face up reads z = -1.
struct IioCalibration {
    using Matrix = std::array<std::array<double, 3>, 3>;  // rows; device = matrix × chip
    static constexpr Matrix kIdentity = {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};

    std::array<double, 3> scale = {1, 1, 1};   // m/s² per count, x, y, z
    std::array<double, 3> offset = {0, 0, 0};  // counts added before scaling
    Matrix mountMatrix = kIdentity;

    Acceleration toAcceleration(const std::array<int64_t, 3> &raw, double timestamp) const;
};
