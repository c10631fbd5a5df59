#pragma once

#include <cstdint>

// The classic recursive short-term over long-term average of one axis's band-passed samples:
// sta ← sta + (x² − sta) / nSta, lta likewise with nLta, ratio = sta / lta.
//
// While fewer than n samples have come, an average divides by the samples so far instead of n,
// so that it is their plain mean: the LTA is a true long-term level when the first LTA window
// ends (counting from zero it would still be 37 % short and every ratio too high), and from
// then on both run as the classic recursion. A frozen LTA keeps its value (an event's own
// energy must not raise the level it is measured against).
class StaLta {
public:
    StaLta(int64_t staSamples, int64_t ltaSamples);

    void add(double x);
    // sta / lta; 0 while the LTA is 0 (nothing but zeros so far).
    double ratio() const { return mLta > 0 ? mSta / mLta : 0; }
    // The first LTA window has passed: a ratio may trigger from now on.
    bool isWarm() const { return mCount >= mLtaSamples; }
    void setLtaFrozen(bool frozen) { mLtaFrozen = frozen; }
    double sta() const { return mSta; }
    double lta() const { return mLta; }

private:
    int64_t mStaSamples;
    int64_t mLtaSamples;
    int64_t mCount = 0;  // samples added, counted up to mLtaSamples
    double mSta = 0;     // mean of x², g²
    double mLta = 0;
    bool mLtaFrozen = false;
};
