#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QGeoPositionInfo;
class QGeoPositionInfoSource;
class QTimer;

struct Location {
    double latitude = 0;   // degrees, north positive
    double longitude = 0;  // degrees, east positive
    double altitude = 0;   // metres above sea level; 0 when the fix has no altitude
};

class LocationManager;

// Told about fixes and failures, always from the event loop on the main thread.
class LocationManagerDelegate {
public:
    virtual ~LocationManagerDelegate() = default;
    // A fix; `oldLocation` is the previously delivered one, none for the first after a start.
    virtual void locationManagerDidUpdateToLocation(LocationManager *manager,
                                                    const Location &newLocation,
                                                    const std::optional<Location> &oldLocation) = 0;
    // Updates have already stopped when this arrives; the delegate may start them again.
    virtual void locationManagerDidFailWithError(LocationManager *manager,
                                                 const QString &error) = 0;
};

// The phone's location manager on Qt Positioning. A start asks the position source for
// continuous updates; a failure (no source, a source without positioning methods, a source
// error, or no fix within the time-out) stops them and is reported once, queued, never from
// inside startUpdatingLocation. The delegate may stop or restart from inside its callbacks.
// Main thread only.
class LocationManager : public QObject {
    Q_OBJECT
public:
    static constexpr double kAccuracyKilometer = 1000.0;  // metres
    using SourceFactory = std::function<QGeoPositionInfoSource *(QObject *parent)>;

    explicit LocationManager(QObject *parent = nullptr);
    ~LocationManager() override;

    void setDelegate(LocationManagerDelegate *delegate);  // not owned; may be null
    // Later fixes are delivered only after moving farther than this from the last delivered
    // one; 0 or less delivers every fix (the default).
    void setDistanceFilter(double metres);
    // Coarse accuracy (>= kAccuracyKilometer) may use any positioning method; finer prefers
    // satellites. Default: finest.
    void setDesiredAccuracy(double metres);
    // No fix within this after a start counts as a failure; default 30000.
    void setTimeout(int milliseconds);

    // Restarts when already updating: the next fix again has no old location.
    void startUpdatingLocation();
    // No delegate calls after this until the next start, including failures already queued.
    void stopUpdatingLocation();
    // False once a failure has been detected, even before the delegate hears of it.
    bool isUpdating() const;

    // Where positions come from; the default is QGeoPositionInfoSource::createDefaultSource.
    // Tests put an NMEA log in simulation mode here. Process-wide; empty restores the default.
    // A manager asks for its source at its first start and keeps it (a null one is asked
    // for again at the next start).
    static void setSourceFactory(SourceFactory factory);

private:
    void positionUpdated(const QGeoPositionInfo &info);
    void applyPreferredMethods();
    void halt();
    void fail(const QString &error);

    LocationManagerDelegate *mDelegate = nullptr;
    QGeoPositionInfoSource *mSource = nullptr;  // child of this; null until the first start
    QTimer *mFixTimer = nullptr;                // runs from a start until the first fix
    std::optional<Location> mLastLocation;      // last delivered since the start
    double mDistanceFilter = 0;                 // metres
    double mDesiredAccuracy = 0;                // metres
    int mTimeout = 30000;                       // milliseconds
    bool mUpdating = false;
    quint64 mGeneration = 0;  // bumped at every start and stop; stale queued failures are dropped
};
