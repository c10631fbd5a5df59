#include "sharing/ReportPosition.h"

#include "platform/SystemLog.h"
#include "prefs/SettingsKeys.h"
#include "prefs/UserPref.h"

ReportPosition::ReportPosition(QObject *parent) : QObject(parent) {}

void ReportPosition::find(std::function<void(const Location &)> found) {
    if (!UserPref::getBoolean(SettingsKeys::LOCATION_SEND)) {
        SystemLog::log(QStringLiteral("LOCATION_SEND is off: sending the report without location"));
        found({});
        return;
    }
    mFound = std::move(found);
    if (!mLocationManager) {
        mLocationManager = new LocationManager(this);
        mLocationManager->setDelegate(this);
        mLocationManager->setDesiredAccuracy(LocationManager::kAccuracyKilometer);
        mLocationManager->setTimeout(kTimeoutMs);
    }
    mLocationManager->startUpdatingLocation();
}

void ReportPosition::stop() {
    if (mLocationManager) {
        mLocationManager->stopUpdatingLocation();
    }
    mFound = nullptr;
}

void ReportPosition::locationManagerDidUpdateToLocation(LocationManager *manager,
                                                        const Location &newLocation,
                                                        const std::optional<Location> &) {
    manager->stopUpdatingLocation();
    if (auto found = std::exchange(mFound, nullptr)) {
        found(newLocation);
    }
}

void ReportPosition::locationManagerDidFailWithError(LocationManager *manager,
                                                     const QString &error) {
    manager->stopUpdatingLocation();
    SystemLog::log(
        QStringLiteral("No position (%1): sending the report without location").arg(error));
    if (auto found = std::exchange(mFound, nullptr)) {
        found({});
    }
}
