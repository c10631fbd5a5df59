#include "platform/LocationManager.h"

#include <QGeoPositionInfo>
#include <QGeoPositionInfoSource>
#include <QTimer>

#include <cmath>
#include <utility>

namespace {

LocationManager::SourceFactory &sourceFactory() {
    static LocationManager::SourceFactory factory;
    return factory;
}

QString describeSourceError(QGeoPositionInfoSource::Error error) {
    switch (error) {
    case QGeoPositionInfoSource::AccessError:
        return QStringLiteral("access to the location service was denied");
    case QGeoPositionInfoSource::ClosedError:
        return QStringLiteral("the location service was closed");
    case QGeoPositionInfoSource::UpdateTimeoutError:
        return QStringLiteral("the location service stopped delivering positions");
    case QGeoPositionInfoSource::UnknownSourceError:
    case QGeoPositionInfoSource::NoError: break;
    }
    return QStringLiteral("the location service failed");
}

}  // namespace

LocationManager::LocationManager(QObject *parent) : QObject(parent), mFixTimer(new QTimer(this)) {
    mFixTimer->setSingleShot(true);
    connect(mFixTimer, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("no position within %1 s").arg(mTimeout / 1000.0)); });
}

LocationManager::~LocationManager() = default;

void LocationManager::setDelegate(LocationManagerDelegate *delegate) { mDelegate = delegate; }

void LocationManager::setDistanceFilter(double metres) { mDistanceFilter = metres; }

void LocationManager::setDesiredAccuracy(double metres) {
    mDesiredAccuracy = metres;
    applyPreferredMethods();
}

void LocationManager::setTimeout(int milliseconds) { mTimeout = milliseconds; }

void LocationManager::setSourceFactory(SourceFactory factory) {
    sourceFactory() = std::move(factory);
}

bool LocationManager::isUpdating() const { return mUpdating; }

void LocationManager::startUpdatingLocation() {
    halt();
    mLastLocation.reset();
    if (mSource == nullptr) {
        const SourceFactory &factory = sourceFactory();
        mSource = factory ? factory(this) : QGeoPositionInfoSource::createDefaultSource(this);
        if (mSource != nullptr) {
            // Queued: the NMEA source delivers its first fix from inside startUpdates(), and
            // the delegate must never be called from inside a start.
            connect(mSource, &QGeoPositionInfoSource::positionUpdated, this,
                    &LocationManager::positionUpdated, Qt::QueuedConnection);
            connect(mSource, &QGeoPositionInfoSource::errorOccurred, this,
                    [this](QGeoPositionInfoSource::Error error) {
                        if (error != QGeoPositionInfoSource::NoError) {
                            fail(describeSourceError(error));
                        }
                    });
        }
    }
    mUpdating = true;
    if (mSource == nullptr) {
        fail(QStringLiteral("no location service is available"));
        return;
    }
    // Debian's GeoClue source exists even where GeoClue cannot deliver; it says so only here.
    if (mSource->supportedPositioningMethods() == QGeoPositionInfoSource::NoPositioningMethods) {
        fail(QStringLiteral("no positioning method is available"));
        return;
    }
    applyPreferredMethods();
    mFixTimer->start(mTimeout);
    mSource->startUpdates();
}

void LocationManager::stopUpdatingLocation() { halt(); }

void LocationManager::applyPreferredMethods() {
    if (mSource != nullptr) {
        mSource->setPreferredPositioningMethods(
            mDesiredAccuracy >= kAccuracyKilometer
                ? QGeoPositionInfoSource::AllPositioningMethods
                : QGeoPositionInfoSource::SatellitePositioningMethods);
    }
}

// Everything a stop needs, also at the start of a start: a new generation makes any failure
// still in the queue stale.
void LocationManager::halt() {
    ++mGeneration;
    mFixTimer->stop();
    if (mUpdating && mSource != nullptr) {
        mSource->stopUpdates();
    }
    mUpdating = false;
}

// Updates stop at once; the delegate hears of it from the event loop, unless a stop or a start
// comes first. Sources may report errors from inside startUpdates, hence always queued.
void LocationManager::fail(const QString &error) {
    if (!mUpdating) {
        return;
    }
    halt();
    const quint64 generation = mGeneration;
    QMetaObject::invokeMethod(
        this,
        [this, generation, error] {
            if (generation == mGeneration && mDelegate != nullptr) {
                mDelegate->locationManagerDidFailWithError(this, error);
            }
        },
        Qt::QueuedConnection);
}

void LocationManager::positionUpdated(const QGeoPositionInfo &info) {
    if (!mUpdating || !info.coordinate().isValid()) {
        return;
    }
    mFixTimer->stop();
    const QGeoCoordinate coordinate = info.coordinate();
    if (mLastLocation && mDistanceFilter > 0) {
        const QGeoCoordinate last(mLastLocation->latitude, mLastLocation->longitude);
        if (last.distanceTo(coordinate) <= mDistanceFilter) {
            return;
        }
    }
    const double altitude = coordinate.altitude();
    const Location location{coordinate.latitude(), coordinate.longitude(),
                            std::isnan(altitude) ? 0.0 : altitude};
    // Copied first: the delegate may restart, which clears mLastLocation.
    const std::optional<Location> oldLocation = std::exchange(mLastLocation, location);
    if (mDelegate != nullptr) {
        mDelegate->locationManagerDidUpdateToLocation(this, location, oldLocation);
    }
}
