#pragma once

// Seconds on CLOCK_MONOTONIC (counted from an arbitrary start such as boot), nanosecond
// resolution. This is the time stamp every accelerometer event carries.
double monotonicSeconds();
