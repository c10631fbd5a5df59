#include "platform/MonotonicClock.h"
#include "platform/QtSensorsAccelerometer.h"
#include "support/TestAccelerometerBackend.h"

#include <QAccelerometer>
#include <QSensorManager>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Collector : AccelerometerDelegate {
    void accelerometerDidAccelerate(Accelerometer *, const Acceleration &a) override {
        events.push_back(a);
    }
    std::vector<Acceleration> events;
};

class QtSensorsAccelerometerTest : public ::testing::Test {
protected:
    void SetUp() override { TestAccelerometerBackend::install(); }
};

TEST_F(QtSensorsAccelerometerTest, ReadingsArriveInGWithThePhonesSigns) {
    QtSensorsAccelerometer accelerometer(TestAccelerometerBackend::kIdentifier);
    ASSERT_TRUE(accelerometer.isConnected());
    TestAccelerometerBackend *backend = TestAccelerometerBackend::current;
    ASSERT_NE(backend, nullptr);

    Collector collector;
    accelerometer.setUpdateInterval(0.01);
    accelerometer.setDelegate(&collector);
    EXPECT_TRUE(backend->active);
    EXPECT_EQ(backend->startedWithRate, 100);

    const double before = monotonicSeconds();
    backend->push(0.0, 0.0, 9.80665);           // lying face up
    backend->push(9.80665 / 2, -9.80665, 0.0);  // tilted, standing on its bottom edge
    const double after = monotonicSeconds();
    ASSERT_EQ(collector.events.size(), 2u);
    EXPECT_NEAR(collector.events[0].z, -1.0, 1e-12);
    EXPECT_NEAR(collector.events[0].x, 0.0, 1e-12);
    EXPECT_NEAR(collector.events[1].x, -0.5, 1e-12);
    EXPECT_NEAR(collector.events[1].y, 1.0, 1e-12);
    for (const Acceleration &event : collector.events) {
        EXPECT_GE(event.timestamp, before);
        EXPECT_LE(event.timestamp, after);
    }
    EXPECT_LE(collector.events[0].timestamp, collector.events[1].timestamp);
}

TEST_F(QtSensorsAccelerometerTest, IntervalSetsTheDataRateAndNoDelegateStopsTheSensor) {
    QtSensorsAccelerometer accelerometer(TestAccelerometerBackend::kIdentifier);
    TestAccelerometerBackend *backend = TestAccelerometerBackend::current;
    Collector collector;
    accelerometer.setDelegate(&collector);
    accelerometer.setUpdateInterval(1.0 / 50);
    EXPECT_TRUE(backend->active);
    EXPECT_EQ(backend->startedWithRate, 50);
    const int starts = backend->starts;
    accelerometer.setUpdateInterval(1.0 / 50);  // unchanged: no restart
    accelerometer.setDelegate(&collector);
    EXPECT_EQ(backend->starts, starts);

    accelerometer.setDelegate(nullptr);
    EXPECT_FALSE(backend->active);
    backend->push(1, 2, 3);
    EXPECT_TRUE(collector.events.empty());
}

TEST_F(QtSensorsAccelerometerTest, TheDummyBackendDoesNotCount) {
    const QByteArray type = QAccelerometer::sensorType;
    struct Restore {  // the process-wide default, however the test ends
        QByteArray type, identifier;
        ~Restore() {
            if (!identifier.isEmpty()) {
                QSensorManager::setDefaultBackend(type, identifier);
            }
        }
    } restore{type, QSensor::defaultSensorForType(type)};
    // Qt Sensors' own dummy plugin comes with the library: without it this case checks nothing.
    ASSERT_TRUE(QSensor::sensorsForType(type).contains("dummy.accelerometer"));
    QSensorManager::setDefaultBackend(type, "dummy.accelerometer");
    EXPECT_EQ(QtSensorsAccelerometer::findAccelerometer(),
              QByteArray(TestAccelerometerBackend::kIdentifier));
}

}  // namespace
