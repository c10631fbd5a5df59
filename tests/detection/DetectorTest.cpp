// The trigger on whole recordings: quiet noise, glitches, bursts, a change of background and
// the demo recording's quake, whose generator (scripts/make-demo-recording) puts the P onset
// at 25 s.
#include "core/ReplaySource.h"
#include "core/SampleHistory.h"
#include "detection/Detector.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace {

constexpr double kRate = 100;

// Samples at kRate from t = 0: a device face up with 50 micro-g of sensor noise, plus what
// `shake` adds at each time.
std::vector<Acceleration> record(double seconds,
                                 const std::function<std::array<double, 3>(double t)> &shake) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 50e-6);
    std::vector<Acceleration> samples;
    for (long n = 0; n < std::lround(seconds * kRate); ++n) {
        const double t = double(n) / kRate;
        const std::array<double, 3> s = shake(t);
        samples.push_back(
            {s[0] + noise(random), s[1] + noise(random), -1.0 + s[2] + noise(random), t});
    }
    return samples;
}

std::array<double, 3> nothing(double) { return {}; }

struct Outcome {
    std::vector<Event> events;  // ended ones, and one still running at the end
    double largestHighPassed = 0;
};

Outcome play(Detector &detector, const std::vector<Acceleration> &samples) {
    Outcome outcome;
    std::array<double, 3> mean{};
    for (const Acceleration &sample : samples) {
        const float values[3] = {float(sample.x), float(sample.y), float(sample.z)};
        std::array<double, 3> highPassed{};
        for (int axis = 0; axis < 3; ++axis) {
            highPassed[axis] = SampleHistory::highPass(values[axis], mean[axis]);
            if (sample.timestamp > 5) {  // after the filter has settled on gravity
                outcome.largestHighPassed =
                    std::max(outcome.largestHighPassed, std::abs(highPassed[axis]));
            }
        }
        if (detector.addSample(sample, highPassed) == Detector::Change::Ended) {
            outcome.events.push_back(detector.event());
        }
    }
    if (detector.isInEvent()) {
        outcome.events.push_back(detector.event());
    }
    return outcome;
}

TEST(Detector, TellsEventsFromNoiseGlitchesAndTheFirstWindow) {
    const auto burst = [](double from, double seconds, double amplitude) {
        return [=](double t) -> std::array<double, 3> {
            if (t < from || t >= from + seconds) {
                return {};
            }
            const double s = amplitude * std::sin(2 * std::numbers::pi * 5 * t);
            return {s, 0.5 * s, 0.2 * s};
        };
    };
    const struct {
        const char *name;
        std::vector<Acceleration> samples;
        size_t events = 0;
        double startFrom = 0, startTo = 0;  // when there is one
        double endFrom = 0, endTo = 0;
    } cases[] = {
        {"ten minutes of quiet noise", record(600, nothing), 0},
        // A single sample of 1 g, on one axis and then on all three: a glitch of the sensor or
        // its bus, not shaking.
        {"one-sample spikes",
         record(
             120,
             [](double t) -> std::array<double, 3> {
                 const long n = std::lround(t * kRate);
                 if (n == 4000) {
                     return {1.0, 0, 0};
                 }
                 return n == 8000 ? std::array<double, 3>{0.5, -0.7, 1.0} : std::array<double, 3>{};
             }),
         0},
        // The STA remembers a burst 800 times the noise for ln(800 / 1.5) of its windows.
        {"a 3 s burst of 5 Hz", record(120, burst(60, 3, 0.002)), 1, 60, 60.3, 63, 72},
        // A sample that is not a number (a broken source) is passed over, not kept in the
        // filters, where it would blind the detector for good.
        {"a burst after a sample that is not a number",
         record(120,
                [&burst](double t) -> std::array<double, 3> {
                    if (std::lround(t * kRate) == 3000) {
                        return {std::nan(""), 0, 0};
                    }
                    return burst(60, 3, 0.002)(t);
                }),
         1, 60, 60.3, 63, 72},
        // No trigger while the first LTA window fills, and that window's burst does not make
        // the next minutes look quiet enough to trigger on noise.
        {"a burst in the first LTA window", record(120, burst(5, 3, 0.002)), 0},
        // A machine switched on nearby: the frozen LTA follows again after one LTA window, so
        // the event ends rather than running for as long as the machine does.
        {"the background four times stronger from 60 s",
         record(600,
                [](double t) -> std::array<double, 3> {
                    static std::mt19937 random(11);
                    static std::normal_distribution<double> noise(0.0, 150e-6);
                    if (t < 60) {
                        return {};
                    }
                    return {noise(random), noise(random), noise(random)};
                }),
         1, 60, 61, 80, 120},
    };
    for (const auto &c : cases) {
        Detector detector(DetectionSettings(), kRate);
        const Outcome outcome = play(detector, c.samples);
        ASSERT_EQ(outcome.events.size(), c.events) << c.name;
        if (c.events == 1) {
            const Event &event = outcome.events[0];
            EXPECT_FALSE(detector.isInEvent()) << c.name;
            EXPECT_GE(event.start, c.startFrom) << c.name;
            EXPECT_LE(event.start, c.startTo) << c.name;
            EXPECT_GE(event.end, c.endFrom) << c.name;
            EXPECT_LE(event.end, c.endTo) << c.name;
            EXPECT_GE(event.peakRatio, DetectionSettings().on) << c.name;
        }
    }
}

std::vector<Acceleration> demoRecording() {
    QFile file(SHAKELOG_SOURCE_DIR "/resources/demo/demo.csv");
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QString error;
    const std::vector<ReplaySource::Sample> demo =
        ReplaySource::parse(file.readAll(), "demo", &error);
    EXPECT_EQ(demo.size(), 7500u) << error.toStdString();
    std::vector<Acceleration> samples;
    for (size_t n = 0; n < demo.size(); ++n) {
        samples.push_back({demo[n].x, demo[n].y, demo[n].z, double(n) / kRate});
    }
    return samples;
}

TEST(Detector, FindsTheDemoQuakeAtItsPOnsetOnce) {
    DetectionSettings shortLta;
    shortLta.lta = 8;  // its first window ends before the P wave
    const struct {
        const char *name;
        DetectionSettings settings;
    } cases[] = {
        {"defaults", DetectionSettings()},
        {"an 8 s LTA", shortLta},
    };
    const double pOnset = 25.0;
    for (const auto &c : cases) {
        Detector detector(c.settings, kRate);
        const Outcome outcome = play(detector, demoRecording());
        ASSERT_EQ(outcome.events.size(), 1u) << c.name;
        const Event &event = outcome.events[0];
        EXPECT_GE(event.start, pOnset) << c.name;
        EXPECT_LE(event.start, pOnset + 0.5) << c.name;
        EXPECT_GT(event.end, 37.0) << c.name << ": through the S wave into the surface waves";
        EXPECT_FALSE(event.cutShort) << c.name;
        // The quake's strongest moment is the S wave on x, inside the event.
        EXPECT_EQ(event.pga, outcome.largestHighPassed) << c.name;
        EXPECT_EQ(event.pgaAxis, 0) << c.name;
    }
}

TEST(Detector, ARunEndingDuringAnEventCutsItShort) {
    Detector detector(DetectionSettings(), kRate);
    std::array<double, 3> mean{};
    for (const Acceleration &sample : demoRecording()) {
        if (sample.timestamp > 30) {
            break;
        }
        std::array<double, 3> highPassed{};
        highPassed[0] = SampleHistory::highPass(float(sample.x), mean[0]);
        detector.addSample(sample, highPassed);
    }
    ASSERT_TRUE(detector.isInEvent());
    EXPECT_TRUE(detector.cutShort());
    EXPECT_FALSE(detector.isInEvent());
    EXPECT_TRUE(detector.event().cutShort);
    EXPECT_NEAR(detector.event().end, 30, 0.02);
    EXPECT_FALSE(detector.cutShort());  // nothing runs any more
}

TEST(Detector, ARateWithNoRoomForTheBandDetectsNothing) {
    Detector detector(DetectionSettings(), 2);
    EXPECT_FALSE(detector.isUsable());
    EXPECT_EQ(detector.problem().toStdString(),
              "at 2 samples/s the band 1-20 Hz has nothing below 0.9 Hz");
    EXPECT_EQ(detector.addSample({1, 1, 1, 0}, {}), Detector::Change::None);
}

}  // namespace
