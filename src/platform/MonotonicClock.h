#pragma once

// Seconds on CLOCK_MONOTONIC (counted from an arbitrary start such as boot), nanosecond
// resolution. This is the time stamp every accelerometer event carries.
double monotonicSeconds();
// Seconds on any clock_gettime() clock (CLOCK_REALTIME, CLOCK_BOOTTIME, ...).
double clockSeconds(int clockId);

// The wall-clock time (seconds since 1970, UTC) of a moment given in monotonic seconds: the
// clocks' present difference applied to it.
double wallSecondsAtMonotonic(double monotonic);
