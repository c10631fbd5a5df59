#pragma once

#include "platform/LocationManager.h"

#include <QObject>

#include <functional>

// Where a report sent without the sharing panel says it was made: one fix from the location
// service when LOCATION_SEND is on and one arrives within a few seconds; otherwise zeros, and
// a log line says why. Main thread only.
class ReportPosition : public QObject, public LocationManagerDelegate {
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = 5000;

    explicit ReportPosition(QObject *parent = nullptr);

    // Calls `found` once: at once when LOCATION_SEND is off, else from the event loop.
    void find(std::function<void(const Location &)> found);
    // Gives up a search under way; `found` is not called.
    void stop();

    void locationManagerDidUpdateToLocation(LocationManager *manager, const Location &newLocation,
                                            const std::optional<Location> &oldLocation) override;
    void locationManagerDidFailWithError(LocationManager *manager, const QString &error) override;

private:
    std::function<void(const Location &)> mFound;
    LocationManager *mLocationManager = nullptr;  // child; only while searching
};
