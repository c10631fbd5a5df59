// The cost of one accelerometer sample on its way through the application, stream off:
// history update (filter, ring, second mark, redraw request), read-back and stream label.
// Reference: the bare filter arithmetic into a plain ring, the least any implementation does.
#include "app/AppDelegate.h"
#include "core/SampleHistory.h"
#include "prefs/UserPref.h"
#include "ui/GraphView.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>

namespace {

// Inputs are made in advance so that only the sample's road is timed.
const std::array<Acceleration, 4096> &inputs() {
    static const auto table = [] {
        std::array<Acceleration, 4096> t{};
        for (unsigned n = 0; n < t.size(); ++n) {
            const double s = n * 0.01;
            t[n] = {0.02 * std::sin(s * 7.0), 0.01 * std::cos(s * 3.0), -1.0 + 0.005 * std::sin(s),
                    s};
        }
        return t;
    }();
    return table;
}

const Acceleration &sample(unsigned n) { return inputs()[n & 4095]; }

void BM_processAcceleration(benchmark::State &state) {
    QTemporaryDir config;
    UserPref::useDirectory(config.path());
    AppDelegate delegate(nullptr, false);
    delegate.applicationDidFinishLaunching();  // first-run settings: filter on, 100 Hz, real time
    unsigned n = 0;
    for (auto _ : state) {
        delegate.processAcceleration(sample(n++));
    }
    benchmark::DoNotOptimize(delegate.graphView->getLatestHistory(0));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_processAcceleration);

void BM_updateHistoryOnly(benchmark::State &state) {
    auto history = std::make_unique<SampleHistory>();
    history->setUpdatingIsEnabled(true);
    history->setFilteringEnabled(true);
    history->setMFrequency(100);
    history->setMRealTime(true);
    unsigned n = 0;
    for (auto _ : state) {
        const Acceleration &a = sample(n++);
        benchmark::DoNotOptimize(history->updateHistoryWithX(float(a.x), float(a.y), float(a.z)));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_updateHistoryOnly);

// Reference: filter and store, nothing else.
void BM_reference_bareFilterRing(benchmark::State &state) {
    static std::array<std::array<double, 3>, 2048> ring{};
    std::array<double, 3> mean{};
    unsigned index = 0;
    unsigned n = 0;
    for (auto _ : state) {
        const Acceleration &a = sample(n++);
        const float in[3] = {float(a.x), float(a.y), float(a.z)};
        for (int k = 0; k < 3; ++k) {
            mean[k] = 0.1 * in[k] + 0.9 * mean[k];
            ring[index][k] = in[k] - mean[k];
        }
        index = (index + 1) & 2047;
        benchmark::DoNotOptimize(ring[index]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_reference_bareFilterRing);

}  // namespace
