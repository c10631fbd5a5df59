#include "detection/StaLta.h"

#include <algorithm>

StaLta::StaLta(int64_t staSamples, int64_t ltaSamples)
    : mStaSamples(std::max<int64_t>(1, staSamples)),
      mLtaSamples(std::max<int64_t>(1, ltaSamples)) {}

void StaLta::add(double x) {
    if (mCount < mLtaSamples) {
        ++mCount;
    }
    const double power = x * x;
    mSta += (power - mSta) / double(std::min(mCount, mStaSamples));
    if (!mLtaFrozen) {
        mLta += (power - mLta) / double(mCount);
    }
}
