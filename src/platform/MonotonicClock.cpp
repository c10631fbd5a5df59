#include "platform/MonotonicClock.h"

#include <time.h>

double monotonicSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double wallSecondsAtMonotonic(double monotonic) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const double wall = double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
    return monotonic + (wall - monotonicSeconds());
}
