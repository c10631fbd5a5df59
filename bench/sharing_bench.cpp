// The sharing panel's texts from a full ring of 2048 samples, made on the main thread while
// the user waits: the e-mail export (lines, dates, escaping, the mailto: URL) and the report's
// "signal" field with its multipart body. Reference: the same export lines written with plain
// snprintf into one buffer, without dates or escaping.
#include "core/SampleHistory.h"
#include "http/FormDataRequest.h"
#include "sharing/Report.h"
#include "sharing/ShareText.h"

#include <QUrl>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// A full ring at 100 samples per second: a new second (and a date) every 100 slots.
const SampleHistory &fullRing() {
    static SampleHistory history = [] {
        int samples = 0;
        SampleHistory ring([&samples] { return 1700000000.0 + samples / 100; });
        ring.setUpdatingIsEnabled(true);
        for (; samples < int(SampleHistory::kSize); ++samples) {
            const double t = samples * 0.01;
            ring.updateHistoryWithX(float(0.05 * std::sin(t * 17.0)),
                                    float(0.04 * std::cos(t * 11.0)),
                                    float(-1.0 + 0.03 * std::sin(t * 23.0)));
        }
        ring.setWallClock(SampleHistory::systemWallClock);
        return ring;
    }();
    return history;
}

void BM_emailExport(benchmark::State &state) {
    const SampleHistory &history = fullRing();
    for (auto _ : state) {
        const QUrl url(
            ShareText::mailURL("me@example.com", "Shakelog Data", ShareText::csvLines(history)),
            QUrl::StrictMode);
        benchmark::DoNotOptimize(url.isValid());
    }
}
BENCHMARK(BM_emailExport)->Unit(benchmark::kMicrosecond);

void BM_reportBody(benchmark::State &state) {
    const SampleHistory &history = fullRing();
    for (auto _ : state) {
        auto request = Report::makeRequest("http://127.0.0.1:8080/report?device_id=x",
                                           ShareText::signalLines(history));
        request->buildPostBody();
        benchmark::DoNotOptimize(request->postLength());
    }
}
BENCHMARK(BM_reportBody)->Unit(benchmark::kMicrosecond);

void BM_reference_snprintfLines(benchmark::State &state) {
    const SampleHistory &history = fullRing();
    for (auto _ : state) {
        std::string text;
        char line[96];
        for (int offset = 0; offset < int(SampleHistory::kSize); ++offset) {
            const int n = std::snprintf(line, sizeof line, "%f,%f,%f,\n",
                                        double(float(history.getHistory(offset, 0))),
                                        double(float(history.getHistory(offset, 1))),
                                        double(float(history.getHistory(offset, 2))));
            text.append(line, size_t(n));
        }
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_reference_snprintfLines)->Unit(benchmark::kMicrosecond);

}  // namespace
