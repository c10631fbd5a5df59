#include "platform/QtSensorsAccelerometer.h"

#include "platform/MonotonicClock.h"

#include <QAccelerometer>
#include <QSensor>

#include <cmath>

QByteArray QtSensorsAccelerometer::findAccelerometer() {
    const QByteArray type = QAccelerometer::sensorType;
    QByteArray candidate = QSensor::defaultSensorForType(type);
    if (candidate.isEmpty() || candidate.startsWith("dummy.")) {
        candidate.clear();
        for (const QByteArray &identifier : QSensor::sensorsForType(type)) {
            if (!identifier.startsWith("dummy.")) {
                candidate = identifier;
                break;
            }
        }
    }
    if (candidate.isEmpty()) {
        return {};
    }
    // A listed backend may still fail to connect (no device node behind it).
    QAccelerometer probe;
    probe.setIdentifier(candidate);
    return probe.connectToBackend() ? candidate : QByteArray();
}

QtSensorsAccelerometer::QtSensorsAccelerometer(const QByteArray &identifier, QObject *parent)
    : QObject(parent), mSensor(std::make_unique<QAccelerometer>()) {
    mSensor->setIdentifier(identifier);
    mSensor->setSkipDuplicates(false);
    mConnected = mSensor->connectToBackend();
    connect(mSensor.get(), &QSensor::readingChanged, this, &QtSensorsAccelerometer::readingChanged);
}

QtSensorsAccelerometer::~QtSensorsAccelerometer() = default;

bool QtSensorsAccelerometer::isConnected() const { return mConnected; }

void QtSensorsAccelerometer::setDelegate(AccelerometerDelegate *delegate) {
    mDelegate = delegate;
    applyState();
}

void QtSensorsAccelerometer::setUpdateInterval(double seconds) {
    mInterval = seconds;
    applyState();
}

QString QtSensorsAccelerometer::description() const {
    return QStringLiteral("accelerometer %1").arg(QString::fromLatin1(mSensor->identifier()));
}

int QtSensorsAccelerometer::maximumRate() const {
    int maximum = 0;
    for (const qrange &range : mSensor->availableDataRates()) {
        maximum = std::max(maximum, range.second);
    }
    return maximum;
}

Acceleration QtSensorsAccelerometer::convertReading(double x, double y, double z,
                                                    double timestamp) {
    return accelerationFromSensor(x, y, z, timestamp);
}

void QtSensorsAccelerometer::applyState() {
    if (!mConnected) {
        return;
    }
    const int rate = std::max(1, int(std::lround(1.0 / mInterval)));
    if (mSensor->dataRate() != rate) {
        // A backend takes a new rate only when (re)started.
        const bool wasActive = mSensor->isActive();
        mSensor->stop();
        mSensor->setDataRate(rate);
        if (wasActive) {
            mSensor->start();
        }
    }
    if (mDelegate && !mSensor->isActive()) {
        mSensor->start();
    } else if (!mDelegate && mSensor->isActive()) {
        mSensor->stop();
    }
}

void QtSensorsAccelerometer::readingChanged() {
    if (!mDelegate) {
        return;
    }
    const QAccelerometerReading *reading = mSensor->reading();
    // Backends stamp readings with clocks of their own; our events carry one monotonic clock
    // whatever the source, taken when the reading reaches us.
    const Acceleration event =
        convertReading(reading->x(), reading->y(), reading->z(), monotonicSeconds());
    mDelegate->accelerometerDidAccelerate(this, event);
}
