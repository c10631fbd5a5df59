// One forward 1024-point transform with fft_ifft beside FFTW 3 (estimate plan, split arrays) on
// the same input, and one full redraw of the spectrum panel (three axes: history reads, three
// transforms, buckets, curves).
#include "spectrum/Calculation.h"
#include "spectrum/SpectrumView.h"
#include "ui/GraphView.h"

#include <QImage>

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kN = 1024;

std::vector<double> input() {
    std::vector<double> x(kN);
    for (int j = 0; j < kN; ++j) {
        x[size_t(j)] =
            std::sin(2 * M_PI * 51.2 * j / kN) + 0.3 * std::sin(2 * M_PI * 130.7 * j / kN);
    }
    return x;
}

void BM_fft_ifft_1024(benchmark::State &state) {
    const std::vector<double> x = input();
    std::vector<double> re(kN), im(kN);
    for (auto _ : state) {
        std::copy(x.begin(), x.end(), re.begin());
        std::fill(im.begin(), im.end(), 0.0);
        benchmark::DoNotOptimize(fft_ifft(re.data(), im.data(), kN, 1));
    }
}
BENCHMARK(BM_fft_ifft_1024)->Unit(benchmark::kMicrosecond);

void BM_reference_fftw_1024(benchmark::State &state) {
    const std::vector<double> x = input();
    double *re = fftw_alloc_real(kN), *im = fftw_alloc_real(kN);
    double *outRe = fftw_alloc_real(kN), *outIm = fftw_alloc_real(kN);
    fftw_iodim dim{kN, 1, 1};
    // Forward with split arrays: FFTW takes the sign from the order of re and im.
    fftw_plan plan =
        fftw_plan_guru_split_dft(1, &dim, 0, nullptr, re, im, outRe, outIm, FFTW_ESTIMATE);
    for (auto _ : state) {
        std::copy(x.begin(), x.end(), re);
        std::fill(im, im + kN, 0.0);
        fftw_execute_split_dft(plan, re, im, outRe, outIm);
        benchmark::DoNotOptimize(outRe[1]);
    }
    fftw_destroy_plan(plan);
    fftw_free(re);
    fftw_free(im);
    fftw_free(outRe);
    fftw_free(outIm);
}
BENCHMARK(BM_reference_fftw_1024)->Unit(benchmark::kMicrosecond);

void BM_spectrumPanelRedraw(benchmark::State &state) {
    GraphView graph;
    graph.setUpdatingIsEnabled(true);
    graph.setFilteringEnabled(true);
    graph.setMFrequency(100);
    for (int n = 0; n < 2048; ++n) {
        graph.updateHistoryWithX(float(0.02 * std::sin(n * 0.31)), float(0.01 * std::cos(n * 0.7)),
                                 -1.0f);
    }
    SpectrumView panel;
    panel.resize(320, 416);
    panel.setGraphView(&graph);
    QImage image(320, 416, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        panel.render(&image);
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BM_spectrumPanelRedraw)->Unit(benchmark::kMicrosecond);

}  // namespace
