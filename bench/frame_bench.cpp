// The cost of one full frame of the waveform view: 320 × 416 points, three strips, time lines
// on, into a QImage. Reference: real-time drawing at 100 samples per second asks for 100
// frames a second, i.e. a budget of 10 ms a frame.
#include "ui/GraphView.h"

#include <QImage>

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

void fillWithAQuake(GraphView &view) {
    double now = 1700000000.0;
    view.setWallClock([&now] { return now; });
    view.setUpdatingIsEnabled(true);
    view.setFilteringEnabled(true);
    view.setMFrequency(100);
    view.setMDrawTime(true);
    for (int n = 0; n < 2048; ++n) {
        now += 0.01;
        const double t = n * 0.01;
        const double envelope = std::exp(-std::pow((t - 12.0) / 4.0, 2));
        view.updateHistoryWithX(float(0.05 * envelope * std::sin(t * 17.0)),
                                float(0.04 * envelope * std::cos(t * 11.0)),
                                float(-1.0 + 0.03 * envelope * std::sin(t * 23.0)));
    }
}

void BM_paintFrame(benchmark::State &state) {
    GraphView view;
    view.resize(320, 416);
    fillWithAQuake(view);
    view.setUpdatingIsEnabled(state.range(0) != 0);
    QImage image(320, 416, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_paintFrame)->Arg(1)->ArgName("running")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_paintFrame)->Arg(0)->ArgName("running")->Unit(benchmark::kMicrosecond);

}  // namespace
