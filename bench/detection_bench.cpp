// Event detection: the detector's cost per sample (median, band-pass and STA/LTA on three
// axes), the band-pass alone, and one sample's whole road through the application with it,
// beside the same road with the detector idle.
#include "app/AppDelegate.h"
#include "app/DetectionControl.h"
#include "detection/BandPass.h"
#include "detection/Detector.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <random>

namespace {

// A quiet sensor's noise (50 micro-g), face up: the detector's everyday input.
const std::vector<Acceleration> &quietNoise() {
    static const std::vector<Acceleration> samples = [] {
        std::mt19937 random(42);
        std::normal_distribution<double> noise(0.0, 0.00005);
        std::vector<Acceleration> s(1 << 16);
        for (size_t n = 0; n < s.size(); ++n) {
            s[n] = {noise(random), noise(random), -1.0 + noise(random), double(n) * 0.01};
        }
        return s;
    }();
    return samples;
}

void BM_detector(benchmark::State &state) {
    Detector detector(DetectionSettings(), 100);
    const std::vector<Acceleration> &samples = quietNoise();
    size_t n = 0;
    for (auto _ : state) {
        const Acceleration &a = samples[n++ & 0xffff];
        benchmark::DoNotOptimize(detector.addSample(a, {a.x, a.y, a.z}));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_detector);

// The band-pass alone, three axes: liquid-dsp's share of the detector.
void BM_bandPassThreeAxes(benchmark::State &state) {
    const BandPass::Corners corners = *BandPass::corners(1, 20, 100);
    BandPass x(corners, 100), y(corners, 100), z(corners, 100);
    const std::vector<Acceleration> &samples = quietNoise();
    size_t n = 0;
    for (auto _ : state) {
        const Acceleration &a = samples[n++ & 0xffff];
        benchmark::DoNotOptimize(x.filter(float(a.x)));
        benchmark::DoNotOptimize(y.filter(float(a.y)));
        benchmark::DoNotOptimize(z.filter(float(a.z + 1.0)));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_bandPassThreeAxes);

// processAcceleration with first-run settings (filter on, 100 Hz, real-time drawing).
// `detecting` false: a band with nothing below the Nyquist frequency leaves the detector idle,
// so the road is the one without it.
void sampleRoad(benchmark::State &state, bool detecting) {
    QTemporaryDir config;
    UserPref::useDirectory(config.path());
    AppDelegate delegate(nullptr, false);
    delegate.applicationDidFinishLaunching();
    if (!detecting) {
        UserPref::setFloat(SettingsKeys::DETECT_BAND_LOW, 60);
        UserPref::setFloat(SettingsKeys::DETECT_BAND_HIGH, 70);
        delegate.reloadUserConfiguration();
    }
    if (delegate.detection->detector()->isUsable() != detecting) {
        state.SkipWithError("the detector is not as asked");
        return;
    }
    const std::vector<Acceleration> &samples = quietNoise();
    size_t n = 0;
    double t = 0;
    for (auto _ : state) {
        Acceleration a = samples[n++ & 0xffff];
        a.timestamp = t;
        t += 0.01;
        delegate.processAcceleration(a);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_sampleRoadDetecting(benchmark::State &state) { sampleRoad(state, true); }
BENCHMARK(BM_sampleRoadDetecting);

void BM_reference_sampleRoadDetectorIdle(benchmark::State &state) { sampleRoad(state, false); }
BENCHMARK(BM_reference_sampleRoadDetectorIdle);

}  // namespace
