#pragma once

#include <QString>

class Accelerometer;

// One accelerometer event: acceleration in g in the phone's convention (a device lying face up
// reads z = -1), and the event's time stamp in monotonic seconds.
struct Acceleration {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double timestamp = 0.0;
};

// Proper acceleration in m/s² as sensors report it (a device lying face up reads z = +9.8)
// → an event in g in the phone's convention.
inline constexpr double kStandardGravity = 9.80665;  // m/s² per g
inline Acceleration accelerationFromSensor(double x, double y, double z, double timestamp) {
    return {-x / kStandardGravity, -y / kStandardGravity, -z / kStandardGravity, timestamp};
}

class AccelerometerDelegate {
public:
    virtual ~AccelerometerDelegate() = default;
    // Called on the main thread, once per event.
    virtual void accelerometerDidAccelerate(Accelerometer *accelerometer,
                                            const Acceleration &acceleration) = 0;
    // A sensor that can go away (unplugged, its driver unloaded) says so with `reason`, is
    // looked for again, and says when it is back and events flow again. Main thread.
    virtual void accelerometerWasLost(Accelerometer * /*accelerometer*/,
                                      const QString & /*reason*/) {}
    virtual void accelerometerDidComeBack(Accelerometer * /*accelerometer*/) {}
};

// The shared accelerometer: a delegate and an update interval. Events flow while a delegate is
// set; setting the same values again changes nothing. Main thread only.
class Accelerometer {
public:
    virtual ~Accelerometer() = default;

    virtual void setDelegate(AccelerometerDelegate *delegate) = 0;
    // Seconds between events; always > 0.
    virtual void setUpdateInterval(double seconds) = 0;
    // The highest rate (samples per second) the source can deliver; 0 when it has no limit of
    // its own.
    virtual int maximumRate() const { return 0; }
    // True when the samples were high-pass filtered at their origin (a received stream): the
    // history must not filter them again.
    virtual bool deliversFilteredSamples() const { return false; }
    // True when event time stamps come from the sensor's own clock (converted to monotonic
    // seconds) rather than from the moment of reading: the history then dates its second marks
    // by them.
    virtual bool timestampsFromDevice() const { return false; }
    // The rate its samples come at when the source sets it (a device running at the nearest
    // rate it offers, 104 for 100 asked), in samples per second; 0 when it follows the interval
    // set, or does not know.
    virtual double samplingRate() const { return 0; }
    // Shown to the user ("Qt Sensors accelerometer", "demo recording", ...).
    virtual QString description() const = 0;
};
