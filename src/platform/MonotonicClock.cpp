#include "platform/MonotonicClock.h"

#include <time.h>

double clockSeconds(int clockId) {
    timespec ts{};
    clock_gettime(clockId, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double monotonicSeconds() { return clockSeconds(CLOCK_MONOTONIC); }

double wallSecondsAtMonotonic(double monotonic) {
    return monotonic + (clockSeconds(CLOCK_REALTIME) - monotonicSeconds());
}
