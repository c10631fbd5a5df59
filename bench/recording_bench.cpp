// Recording to the miniSEED archive: the cost of one sample's road with recording on, beside
// the same road without it; and the archive's bytes per sample (three channels, Steim-2, whole
// records) on the demo recording and on a quiet sensor's noise, beside 4 bytes uncompressed.
#include "app/AppDelegate.h"
#include "app/RecordingControl.h"
#include "core/ReplaySource.h"
#include "prefs/UserPref.h"
#include "recording/Recorder.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

// In memory where the machine has it, so that the disk's speed does not blur the figure.
QString scratchFolder() { return QFile::exists("/dev/shm") ? "/dev/shm" : QDir::tempPath(); }

std::vector<Acceleration> quietNoise(size_t count) {
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0.0, 0.00005);  // 50 micro-g
    std::vector<Acceleration> samples(count);
    for (size_t n = 0; n < count; ++n) {
        samples[n] = {noise(random), noise(random), -1.0 + noise(random), n * 0.01};
    }
    return samples;
}

void sampleRoad(benchmark::State &state, bool recording) {
    QTemporaryDir config;
    QTemporaryDir archive(scratchFolder() + "/shakelog-bench-XXXXXX");
    UserPref::useDirectory(config.path());
    AppDelegate delegate(nullptr, false);
    delegate.applicationDidFinishLaunching();
    if (recording) {
        delegate.recording->setRunOverride(archive.path(), SeedCodes{"XX", "BENCH", "00"}, 0);
        QString error;
        if (!delegate.recording->startIfAsked(100, &error)) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
    }
    const std::vector<Acceleration> samples = quietNoise(1 << 16);
    size_t n = 0;
    double t = 0;
    for (auto _ : state) {
        Acceleration a = samples[n++ & 0xffff];
        a.timestamp = t;
        t += 0.01;
        delegate.processAcceleration(a);
        if (n % 1000 == 0) {
            delegate.recording->flush();  // what the 10-second timer does at 100 samples/s
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_sampleRoadRecording(benchmark::State &state) { sampleRoad(state, true); }
BENCHMARK(BM_sampleRoadRecording);

void BM_reference_sampleRoadWithoutRecording(benchmark::State &state) { sampleRoad(state, false); }
BENCHMARK(BM_reference_sampleRoadWithoutRecording);

qint64 archiveBytes(const QString &folder) {
    qint64 bytes = 0;
    QDirIterator files(folder, {"*.D.*"}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        bytes += QFileInfo(files.next()).size();
    }
    return bytes;
}

// An hour of samples recorded as the application does (flushed every 10 s); the figure is the
// archive's size over the samples of all three channels.
void bytesPerSample(benchmark::State &state, const std::vector<Acceleration> &samples) {
    double perSample = 0;
    for (auto _ : state) {
        QTemporaryDir archive(scratchFolder() + "/shakelog-bench-XXXXXX");
        {
            QString error;
            auto recorder =
                Recorder::start({archive.path(), {"XX", "BENCH", "00"}, 100, 0}, &error);
            for (size_t n = 0; n < 360000; ++n) {
                Acceleration a = samples[n % samples.size()];
                a.timestamp = double(n) * 0.01;
                recorder->addSample(a);
                if (n % 1000 == 999) {
                    recorder->flush();
                }
            }
        }
        perSample = double(archiveBytes(archive.path())) / (360000.0 * 3);
    }
    state.counters["bytes_per_sample"] = perSample;
    state.counters["ratio_to_int32"] = perSample / 4.0;
}

void BM_archiveBytes_demoRecording(benchmark::State &state) {
    QFile file(":/demo/demo.csv");
    if (!file.open(QIODevice::ReadOnly)) {
        file.setFileName(QStringLiteral(SHAKELOG_SOURCE_DIR "/resources/demo/demo.csv"));
        file.open(QIODevice::ReadOnly);
    }
    QString error;
    std::vector<Acceleration> samples;
    for (const ReplaySource::Sample &s : ReplaySource::parse(file.readAll(), "demo", &error)) {
        samples.push_back({s.x, s.y, s.z, 0});
    }
    bytesPerSample(state, samples);
}
BENCHMARK(BM_archiveBytes_demoRecording)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_archiveBytes_quietNoise(benchmark::State &state) {
    bytesPerSample(state, quietNoise(1 << 16));
}
BENCHMARK(BM_archiveBytes_quietNoise)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
