// Capture from a simulated IIO accelerometer: buffered scans, the polled fallback, restoring the
// device, and a device that goes away and comes back.
#include "platform/MonotonicClock.h"
#include "platform/iio/IioAccelerometer.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/SimulatedIioDevice.h"

#include <QDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

struct Collector : AccelerometerDelegate {
    void accelerometerDidAccelerate(Accelerometer *, const Acceleration &a) override {
        events.push_back(a);
    }
    void accelerometerWasLost(Accelerometer *, const QString &) override { ++lost; }
    void accelerometerDidComeBack(Accelerometer *) override { ++restored; }
    std::vector<Acceleration> events;
    int lost = 0;
    int restored = 0;
};

std::unique_ptr<IioAccelerometer> openSimulated(const QString &which = QString()) {
    QString error;
    std::unique_ptr<IioAccelerometer> accelerometer = IioAccelerometer::open(which, &error);
    EXPECT_TRUE(accelerometer) << error.toStdString();
    return accelerometer;
}

// Capture starts from the event loop once a delegate is set.
void waitForCapture(const IioAccelerometer &accelerometer) {
    pumpUntil([&] { return accelerometer.mode() != IioAccelerometer::Mode::Stopped; }, 5000);
}

int linesContaining(const LogCapture &log, const QString &text) {
    return int(std::count_if(log.lines().begin(), log.lines().end(),
                             [&](const QString &line) { return line.contains(text); }));
}

bool anyLineContains(const LogCapture &log, const QString &text) {
    for (const QString &line : log.lines()) {
        if (line.contains(text)) {
            return true;
        }
    }
    return false;
}

TEST(IioAccelerometer, BufferedScansArriveInOrderInGWithTheDevicesTimeStamps) {
    SimulatedIioDevice sim;
    sim.setAttribute("in_accel_mount_matrix", "0, 1, 0; 1, 0, 0; 0, 0, 1");
    const auto before = sim.snapshot();
    sim.openWriter();
    {
        auto accelerometer = openSimulated();
        Collector collector;
        accelerometer->setDelegate(&collector);
        accelerometer->setUpdateInterval(1.0f / 100.0f);  // as the application computes it
        waitForCapture(*accelerometer);
        ASSERT_EQ(accelerometer->mode(), IioAccelerometer::Mode::Buffered);

        // The device is set up for capture at the rate asked for.
        EXPECT_EQ(sim.attribute("sampling_frequency"), "100");
        EXPECT_EQ(sim.attribute("buffer/enable"), "1");
        EXPECT_EQ(sim.attribute("scan_elements/in_accel_x_en"), "1");
        EXPECT_EQ(sim.attribute("scan_elements/in_accel_z_en"), "1");
        EXPECT_EQ(sim.attribute("scan_elements/in_timestamp_en"), "1");
        EXPECT_EQ(sim.attribute("current_timestamp_clock"), "monotonic");
        EXPECT_EQ(sim.attribute("trigger/current_trigger"), "mpu6050-dev0");
        EXPECT_EQ(sim.attribute("buffer/length").toInt(), 100);

        // ns on the monotonic clock, a moment ago
        const int64_t t0 = (int64_t(monotonicSeconds()) - 1) * 1'000'000'000;
        // Lying face up, then tilted; the second scan arrives in two pieces.
        const QByteArray second = SimulatedIioDevice::scan(8192, -4096, 0, t0 + 10'000'000);
        sim.write(SimulatedIioDevice::scan(0, 0, 16384, t0) + second.left(5));
        pumpUntil([&] { return collector.events.size() >= 1; }, 5000);
        sim.write(second.mid(5) + SimulatedIioDevice::scan(-16384, 0, 0, t0 + 20'000'000));
        pumpUntil([&] { return collector.events.size() >= 3; }, 5000);
        ASSERT_EQ(collector.events.size(), 3u);

        const Acceleration &faceUp = collector.events[0];
        EXPECT_DOUBLE_EQ(faceUp.x, 0.0);
        EXPECT_DOUBLE_EQ(faceUp.y, 0.0);
        EXPECT_DOUBLE_EQ(faceUp.z, -1.0);
        // The mount matrix swaps the chip's x and y.
        EXPECT_DOUBLE_EQ(collector.events[1].x, 0.25);
        EXPECT_DOUBLE_EQ(collector.events[1].y, -0.5);
        EXPECT_DOUBLE_EQ(collector.events[2].y, 1.0);
        for (int i = 0; i < 3; ++i) {
            EXPECT_NEAR(collector.events[i].timestamp, double(t0) * 1e-9 + 0.01 * i, 1e-6);
        }
    }
    // Everything changed was put back when the accelerometer went.
    EXPECT_EQ(sim.snapshot(), before);
}

TEST(IioAccelerometer, TimeStampsOfAnotherClockAreTurnedIntoMonotonicSeconds) {
    SimulatedIioDevice sim;
    // A kernel that cannot switch clocks stamps scans with the realtime clock.
    sim.removeAttribute("current_timestamp_clock");
    sim.openWriter();
    auto accelerometer = openSimulated();
    Collector collector;
    accelerometer->setDelegate(&collector);
    const double sent = monotonicSeconds();
    sim.write(SimulatedIioDevice::scan(0, 0, 0, int64_t(wallSecondsAtMonotonic(sent) * 1e9)));
    pumpUntil([&] { return !collector.events.empty(); });
    ASSERT_EQ(collector.events.size(), 1u);
    EXPECT_NEAR(collector.events[0].timestamp, sent, 1.0);
}

TEST(IioAccelerometer, TimeStampsFarFromThisMachinesClockAreDatedAsTheyArrive) {
    SimulatedIioDevice sim;
    sim.openWriter();
    LogCapture log;
    auto accelerometer = openSimulated();
    Collector collector;
    accelerometer->setDelegate(&collector);
    accelerometer->setUpdateInterval(0.01);
    // A driver that leaves its time stamps at 0.
    sim.write(SimulatedIioDevice::scan(0, 0, 0, 0) + SimulatedIioDevice::scan(0, 0, 0, 0) +
              SimulatedIioDevice::scan(0, 0, 0, 0));
    const double before = monotonicSeconds();
    pumpUntil([&] { return collector.events.size() == 3; }, 5000);
    ASSERT_EQ(collector.events.size(), 3u);
    EXPECT_NEAR(collector.events[0].timestamp, before, 5.0);
    EXPECT_NEAR(collector.events[1].timestamp - collector.events[0].timestamp, 0.01, 1e-9);
    EXPECT_NEAR(collector.events[2].timestamp - collector.events[1].timestamp, 0.01, 1e-9);
    EXPECT_EQ(linesContaining(log, "its time stamps are"), 1)
        << log.lines().join('\n').toStdString();
}

TEST(IioAccelerometer, AnUnpluggedDeviceIsNoticedWhileItsCharacterDeviceStaysQuiet) {
    SimulatedIioDevice sim;
    sim.openWriter();  // a real device's character device neither ends nor wakes when unplugged
    auto accelerometer = openSimulated();
    Collector collector;
    accelerometer->setDelegate(&collector);
    waitForCapture(*accelerometer);
    ASSERT_EQ(accelerometer->mode(), IioAccelerometer::Mode::Buffered);
    QDir(sim.path()).removeRecursively();
    pumpUntil([&] { return collector.lost > 0; }, 5000);
    EXPECT_EQ(collector.lost, 1);
    EXPECT_EQ(accelerometer->mode(), IioAccelerometer::Mode::Lost);
}

TEST(IioAccelerometer, WithoutAUsableBufferTheRawValuesArePolled) {
    struct Case {
        const char *what;
        std::function<void(SimulatedIioDevice &)> breakBuffer;
        const char *reason;
    };
    const Case cases[] = {
        {"enabling fails",
         [](SimulatedIioDevice &sim) {
             // A directory where the attribute should be: every write to it fails.
             sim.removeAttribute("buffer/enable");
             QDir().mkpath(sim.path() + "/buffer/enable");
         },
         "buffer/enable"},
        {"no character device", [](SimulatedIioDevice &sim) { QFile::remove(sim.fifo()); },
         "cannot open"},
        {"no buffer", [](SimulatedIioDevice &sim) { sim.removeAttribute("buffer/enable"); },
         "no buffer"},
        {"a malformed scan type",
         [](SimulatedIioDevice &sim) {
             sim.setAttribute("scan_elements/in_accel_y_type", "le:s16/16>>zero");
         },
         "scan_elements/in_accel_y_type: 'le:s16/16>>zero' is not a scan type"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SimulatedIioDevice sim;
        c.breakBuffer(sim);
        sim.setAttribute("in_accel_x_raw", "-8192");
        sim.setAttribute("in_accel_z_raw", "16384");
        const auto before = sim.snapshot();
        LogCapture log;
        {
            auto accelerometer = openSimulated();
            Collector collector;
            accelerometer->setDelegate(&collector);
            accelerometer->setUpdateInterval(1.0f / 200.0f);
            waitForCapture(*accelerometer);
            ASSERT_EQ(accelerometer->mode(), IioAccelerometer::Mode::Polled);
            // Said once: a delegate and an interval set one after the other start capture once.
            EXPECT_EQ(linesContaining(log, "reading its raw values instead of buffered scans"), 1);
            EXPECT_TRUE(anyLineContains(log, c.reason)) << log.lines().join('\n').toStdString();
            // Nothing of the failed buffer set-up stays switched on.
            EXPECT_EQ(sim.attribute("scan_elements/in_accel_x_en"), "0");
            EXPECT_EQ(sim.attribute("sampling_frequency"), "200");

            pumpUntil([&] { return collector.events.size() >= 3; }, 5000);
            ASSERT_GE(collector.events.size(), 3u);
            EXPECT_DOUBLE_EQ(collector.events[0].x, 0.5);
            EXPECT_DOUBLE_EQ(collector.events[0].z, -1.0);
            // A read already under way may still bring the old value: the new one follows.
            sim.setAttribute("in_accel_x_raw", "4096");
            pumpUntil([&] { return collector.events.back().x == -0.25; }, 5000);
            EXPECT_DOUBLE_EQ(collector.events.back().x, -0.25);
            sim.setAttribute("in_accel_x_raw", "-8192");
        }
        EXPECT_EQ(sim.snapshot(), before);
    }
}

TEST(IioAccelerometer, ADeviceThatGoesAwayIsLookedForUntilItComesBack) {
    SimulatedIioDevice sim;
    sim.openWriter();
    LogCapture log;
    auto accelerometer = openSimulated("mpu6050");
    accelerometer->setRetryInterval(std::chrono::milliseconds(50));
    Collector collector;
    const int &lost = collector.lost;
    const int &restored = collector.restored;
    accelerometer->setDelegate(&collector);
    sim.write(SimulatedIioDevice::scan(0, 0, 16384, int64_t(monotonicSeconds() * 1e9)));
    pumpUntil([&] { return collector.events.size() == 1; }, 5000);

    sim.remove();  // unplugged: the reader sees the end of its data, the attributes vanish
    pumpUntil([&] { return lost > 0; }, 5000);
    ASSERT_EQ(lost, 1);
    EXPECT_EQ(accelerometer->mode(), IioAccelerometer::Mode::Lost);
    EXPECT_TRUE(anyLineContains(log, "lost")) << log.lines().join('\n').toStdString();
    pumpUntil([] { return false; }, 200);  // several looks find nothing
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(restored, 0);

    sim.create();
    sim.openWriter();
    // Back with its first sample.
    sim.write(SimulatedIioDevice::scan(16384, 0, 0, int64_t(monotonicSeconds() * 1e9)));
    pumpUntil([&] { return restored > 0; }, 5000);
    ASSERT_EQ(restored, 1);
    EXPECT_EQ(accelerometer->mode(), IioAccelerometer::Mode::Buffered);
    EXPECT_EQ(sim.attribute("buffer/enable"), "1");
    ASSERT_EQ(collector.events.size(), 2u);
    EXPECT_DOUBLE_EQ(collector.events[1].x, -1.0);
    EXPECT_EQ(linesContaining(log, "is back"), 1);
}

TEST(IioAccelerometer, APolledReadThatFailsCountsAsALostDevice) {
    SimulatedIioDevice sim;
    sim.removeAttribute("buffer/enable");
    LogCapture log;
    auto accelerometer = openSimulated();
    Collector collector;
    const int &lost = collector.lost;
    accelerometer->setDelegate(&collector);
    pumpUntil([&] { return !collector.events.empty(); }, 5000);
    ASSERT_EQ(accelerometer->mode(), IioAccelerometer::Mode::Polled);
    sim.setAttribute("in_accel_y_raw", "-EIO");
    pumpUntil([&] { return lost > 0; }, 5000);
    EXPECT_EQ(accelerometer->mode(), IioAccelerometer::Mode::Lost);
    EXPECT_EQ(linesContaining(log, sim.path() + "/in_accel_y_raw: '-EIO' is not a number"), 1)
        << log.lines().join('\n').toStdString();
}

TEST(IioAccelerometer, ANewRateRestartsCaptureAndNoDelegateStopsIt) {
    SimulatedIioDevice sim;
    sim.openWriter();
    auto accelerometer = openSimulated();
    EXPECT_EQ(accelerometer->maximumRate(), 1000);
    Collector collector;
    accelerometer->setDelegate(&collector);
    accelerometer->setUpdateInterval(1.0 / 30);
    waitForCapture(*accelerometer);
    EXPECT_EQ(sim.attribute("sampling_frequency"), "50");  // the next offered rate up
    EXPECT_EQ(accelerometer->samplingRate(), 50);         // what the samples come at
    EXPECT_EQ(sim.attribute("buffer/enable"), "1");
    accelerometer->setUpdateInterval(1.0 / 150);
    waitForCapture(*accelerometer);
    EXPECT_EQ(sim.attribute("sampling_frequency"), "200");
    EXPECT_EQ(sim.attribute("buffer/length"), "200");  // a second of scans at the rate chosen
    EXPECT_EQ(sim.attribute("buffer/enable"), "1");
    accelerometer->setDelegate(nullptr);
    EXPECT_EQ(accelerometer->mode(), IioAccelerometer::Mode::Stopped);
    EXPECT_EQ(sim.attribute("buffer/enable"), "0");
    EXPECT_EQ(sim.attribute("trigger/current_trigger"), "");
}

}  // namespace
