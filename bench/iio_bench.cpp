// Buffered capture from a simulated IIO accelerometer: the scans that arrive in one 10 ms wake at
// 1 000 and 4 000 samples per second are written to the FIFO that stands in for the character
// device, then read, decoded, calibrated and delivered to a delegate through the event loop, as
// the application does. The reference writes the same bytes to the same FIFO and reads them back
// with a bare read() loop: the cost of the system calls alone.
#include "platform/MonotonicClock.h"
#include "platform/iio/IioAccelerometer.h"
#include "support/SimulatedIioDevice.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {

struct Counter : AccelerometerDelegate {
    void accelerometerDidAccelerate(Accelerometer *, const Acceleration &a) override {
        ++count;
        sum += a.z;
    }
    int64_t count = 0;
    double sum = 0;
};

// The scans of one 10 ms wake at `rate` samples per second.
QByteArray scansOfOneWake(int rate) {
    QByteArray bytes;
    for (int i = 0; i < rate / 100; ++i) {
        bytes += SimulatedIioDevice::scan(int16_t(i), int16_t(-i), 16384, 0);
    }
    return bytes;
}

// Gives the wake's scans rising time stamps on the monotonic clock, as a sensor would.
void stamp(QByteArray &wake, int64_t *nextNs, int64_t stepNs) {
    for (qsizetype offset = 8; offset < wake.size(); offset += 16) {
        std::memcpy(wake.data() + offset, nextNs, sizeof *nextNs);  // little-endian machine
        *nextNs += stepNs;
    }
}

void BM_iioBufferedCapture(benchmark::State &state) {
    const int rate = int(state.range(0));
    SimulatedIioDevice sim;
    sim.openWriter();
    QString error;
    auto accelerometer = IioAccelerometer::open(QString(), &error);
    if (!accelerometer) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    Counter counter;
    accelerometer->setUpdateInterval(1.0 / rate);
    accelerometer->setDelegate(&counter);
    QByteArray wake = scansOfOneWake(rate);
    const int64_t perWake = rate / 100;
    int64_t nextNs = int64_t(monotonicSeconds() * 1e9);
    for (auto _ : state) {
        const int64_t target = counter.count + perWake;
        stamp(wake, &nextNs, 1'000'000'000 / rate);
        sim.write(wake);
        while (counter.count < target) {
            QCoreApplication::processEvents();
        }
    }
    benchmark::DoNotOptimize(counter.sum);
    state.SetItemsProcessed(counter.count);
    state.counters["ns_per_sample"] = benchmark::Counter(
        double(counter.count), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_iioBufferedCapture)->Arg(1000)->Arg(4000);

void BM_reference_bareFifoRead(benchmark::State &state) {
    const int rate = int(state.range(0));
    SimulatedIioDevice sim;
    sim.openWriter();
    const int fd = ::open(sim.fifo().toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
    const QByteArray wake = scansOfOneWake(rate);
    QByteArray buffer(wake.size() * 4, '\0');
    int64_t samples = 0;
    for (auto _ : state) {
        sim.write(wake);
        qsizetype got = 0;
        while (got < wake.size()) {
            const ssize_t n = ::read(fd, buffer.data(), size_t(buffer.size()));
            got += n > 0 ? n : 0;
        }
        samples += rate / 100;
        benchmark::DoNotOptimize(buffer.data());
    }
    ::close(fd);
    state.SetItemsProcessed(samples);
    state.counters["ns_per_sample"] = benchmark::Counter(
        double(samples), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_reference_bareFifoRead)->Arg(1000)->Arg(4000);

}  // namespace
