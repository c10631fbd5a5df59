#include "support/TestAccelerometerBackend.h"

#include <QAccelerometer>
#include <QSensorManager>

void TestAccelerometerBackend::install() {
    static TestAccelerometerFactory factory;
    if (!QSensorManager::isBackendRegistered(QAccelerometer::sensorType, kIdentifier)) {
        QSensorManager::registerBackend(QAccelerometer::sensorType, kIdentifier, &factory);
    }
}
