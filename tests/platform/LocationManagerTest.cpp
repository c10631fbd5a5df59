#include "platform/LocationManager.h"
#include "support/NmeaLog.h"
#include "support/Printers.h"
#include "support/SilentPositionSource.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNmeaPositionInfoSource>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// Records every callback; `onUpdate` and `onError` act from inside them.
struct Recorder : LocationManagerDelegate {
    struct Update {
        Location location;
        std::optional<Location> old;
    };
    void locationManagerDidUpdateToLocation(LocationManager *manager, const Location &newLocation,
                                            const std::optional<Location> &oldLocation) override {
        updates.push_back({newLocation, oldLocation});
        onUpdate(manager);
    }
    void locationManagerDidFailWithError(LocationManager *manager, const QString &error) override {
        errors.push_back(error);
        onError(manager);
    }
    std::vector<Update> updates;
    std::vector<QString> errors;
    std::function<void(LocationManager *)> onUpdate = [](LocationManager *) {};
    std::function<void(LocationManager *)> onError = [](LocationManager *) {};
};

// Runs the event loop for `ms`, or until `done` holds.
void wait(int ms, const std::function<bool()> &done = {}) {
    QDeadlineTimer deadline(ms);
    while (!(done && done()) && !deadline.hasExpired()) {
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

class LocationManagerTest : public ::testing::Test {
protected:
    LocationManager manager;
    Recorder recorder;
};

TEST_F(LocationManagerTest, FixesFromAnNmeaLogCarryPositionAltitudeAndThePreviousFix) {
    LocationManager::setSourceFactory(nmeaFactory(nmeaLog({0, 10, 20})));
    manager.setDelegate(&recorder);
    manager.setTimeout(200);  // shorter than the log: the first fix must end the time-out
    manager.startUpdatingLocation();
    EXPECT_TRUE(manager.isUpdating());
    EXPECT_TRUE(recorder.updates.empty());  // the first fix, too, comes from the event loop
    wait(10000, [&] { return recorder.updates.size() >= 3; });

    ASSERT_EQ(recorder.updates.size(), 3u);
    const Recorder::Update &first = recorder.updates[0];
    EXPECT_NEAR(first.location.latitude, kLatitude, 1e-9);
    EXPECT_NEAR(first.location.longitude, kLongitude, 1e-9);
    EXPECT_DOUBLE_EQ(first.location.altitude, kAltitude);
    EXPECT_FALSE(first.old.has_value());
    ASSERT_TRUE(recorder.updates[2].old.has_value());
    EXPECT_DOUBLE_EQ(recorder.updates[2].old->latitude, recorder.updates[1].location.latitude);
    EXPECT_NEAR(recorder.updates[2].location.latitude, kLatitude + 20 / kMetresPerArcMinute / 60,
                1e-6);

    wait(300);  // the log has ended: that is no failure
    EXPECT_TRUE(recorder.errors.empty());
    EXPECT_TRUE(manager.isUpdating());
}

TEST_F(LocationManagerTest, DistanceFilterDeliversOnlyAfterMovingFartherThanItFromTheLastFix) {
    LocationManager::setSourceFactory(nmeaFactory(nmeaLog({0, 15, 30, 45, 60}, false)));
    manager.setDelegate(&recorder);
    manager.setDistanceFilter(20);
    manager.startUpdatingLocation();
    wait(10000, [&] { return recorder.updates.size() >= 3; });
    wait(300);  // nothing more may come

    ASSERT_EQ(recorder.updates.size(), 3u);
    const double metresPerDegree = kMetresPerArcMinute * 60;
    EXPECT_NEAR(recorder.updates[0].location.latitude, kLatitude, 1e-6);
    EXPECT_EQ(recorder.updates[0].location.altitude, 0.0);  // RMC only: no altitude
    EXPECT_NEAR(recorder.updates[1].location.latitude, kLatitude + 30 / metresPerDegree, 1e-6);
    EXPECT_NEAR(recorder.updates[2].location.latitude, kLatitude + 60 / metresPerDegree, 1e-6);
    // Distances count from the last delivered fix, not from the last one the source saw, and
    // the old location is that delivered fix.
    ASSERT_TRUE(recorder.updates[2].old.has_value());
    EXPECT_DOUBLE_EQ(recorder.updates[2].old->latitude, recorder.updates[1].location.latitude);
}

TEST_F(LocationManagerTest, AfterAStopNoFixArrivesAndAStopInsideTheCallbackEndsAtOne) {
    LocationManager::setSourceFactory(nmeaFactory(nmeaLog({0, 10, 20, 30, 40})));
    manager.setDelegate(&recorder);
    manager.setTimeout(300);
    // The NMEA source hands over its first fix from inside its start; a stop before the event
    // loop runs drops it.
    manager.startUpdatingLocation();
    manager.stopUpdatingLocation();
    wait(300);
    EXPECT_TRUE(recorder.updates.empty());

    recorder.onUpdate = [](LocationManager *m) { m->stopUpdatingLocation(); };
    manager.startUpdatingLocation();
    wait(10000, [&] { return !recorder.updates.empty(); });
    wait(600);  // longer than the log and the time-out
    EXPECT_EQ(recorder.updates.size(), 1u);
    EXPECT_TRUE(recorder.errors.empty());
    EXPECT_FALSE(manager.isUpdating());
}

// Every way a start can fail: reported once, from the event loop, with updates stopped.
struct FailureCase {
    const char *name;
    LocationManager::SourceFactory factory;
    QString message;
};
void PrintTo(const FailureCase &failure, std::ostream *os) { *os << failure.name; }

LocationManager::SourceFactory silentSource(
    QGeoPositionInfoSource::PositioningMethods methods =
        QGeoPositionInfoSource::NoPositioningMethods,
    QGeoPositionInfoSource::Error errorOnStart = QGeoPositionInfoSource::NoError) {
    return [=](QObject *parent) { return new SilentPositionSource(parent, methods, errorOnStart); };
}

class LocationFailureTest : public LocationManagerTest,
                            public ::testing::WithParamInterface<FailureCase> {
protected:
    void SetUp() override {
        LocationManager::setSourceFactory(GetParam().factory);
        manager.setDelegate(&recorder);
        manager.setTimeout(150);
    }
};

TEST_P(LocationFailureTest, IsReportedOnceFromTheEventLoop) {
    manager.startUpdatingLocation();
    EXPECT_TRUE(recorder.errors.empty());  // never from inside the start

    wait(10000, [&] { return !recorder.errors.empty(); });
    ASSERT_EQ(recorder.errors.size(), 1u);
    EXPECT_EQ(recorder.errors[0], GetParam().message);
    EXPECT_FALSE(manager.isUpdating());
    if (auto *silent = manager.findChild<SilentPositionSource *>()) {
        EXPECT_FALSE(silent->active);
    }
    wait(400);  // no second report, no late time-out
    EXPECT_EQ(recorder.errors.size(), 1u);
    EXPECT_TRUE(recorder.updates.empty());
}

TEST_P(LocationFailureTest, AStopRightAfterTheStartSilencesIt) {
    manager.startUpdatingLocation();
    manager.stopUpdatingLocation();
    wait(400);
    EXPECT_TRUE(recorder.errors.empty());
    EXPECT_FALSE(manager.isUpdating());
}

INSTANTIATE_TEST_SUITE_P(
    LocationManager, LocationFailureTest,
    ::testing::Values(FailureCase{"NoSource", [](QObject *) { return nullptr; },
                                  "no location service is available"},
                      FailureCase{"NoPositioningMethods", silentSource(),
                                  "no positioning method is available"},
                      FailureCase{"NoFixWithinTheTimeout",
                                  silentSource(QGeoPositionInfoSource::SatellitePositioningMethods),
                                  "no position within 0.15 s"},
                      FailureCase{"SourceErrorDuringTheStart",
                                  silentSource(QGeoPositionInfoSource::AllPositioningMethods,
                                               QGeoPositionInfoSource::AccessError),
                                  "access to the location service was denied"}),
    [](const ::testing::TestParamInfo<FailureCase> &info) { return info.param.name; });

TEST_F(LocationManagerTest, RestartingInsideTheFailureCallbackKeepsTheSourceAndTimesOutAgain) {
    int created = 0;
    LocationManager::setSourceFactory([&created](QObject *parent) {
        ++created;
        return silentSource(QGeoPositionInfoSource::AllPositioningMethods)(parent);
    });
    recorder.onError = [&](LocationManager *m) {
        if (recorder.errors.size() == 1) {
            m->startUpdatingLocation();
        }
    };
    manager.setDelegate(&recorder);
    manager.setTimeout(100);
    manager.setDesiredAccuracy(LocationManager::kAccuracyKilometer);
    manager.startUpdatingLocation();
    auto *source = manager.findChild<SilentPositionSource *>();
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->preferredPositioningMethods(), QGeoPositionInfoSource::AllPositioningMethods);

    wait(10000, [&] { return recorder.errors.size() >= 2; });
    ASSERT_EQ(recorder.errors.size(), 2u);
    EXPECT_EQ(created, 1);
    EXPECT_EQ(source->starts, 2);
    EXPECT_FALSE(manager.isUpdating());

    manager.setDesiredAccuracy(10);  // finer than a kilometre: satellites
    EXPECT_EQ(source->preferredPositioningMethods(),
              QGeoPositionInfoSource::SatellitePositioningMethods);
}

}  // namespace
