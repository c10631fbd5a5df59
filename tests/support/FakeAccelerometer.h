#pragma once

#include "platform/Accelerometer.h"

// An accelerometer the test drives: it records how it was set up and delivers what deliver()
// is given to its delegate.
class FakeAccelerometer : public Accelerometer {
public:
    void setDelegate(AccelerometerDelegate *d) override {
        delegate = d;
        ++delegateSets;
    }
    void setUpdateInterval(double seconds) override {
        interval = seconds;
        ++intervalSets;
    }
    QString description() const override { return QStringLiteral("fake"); }
    bool timestampsFromDevice() const override { return deviceTimestamps; }
    double samplingRate() const override { return rate; }

    void deliver(double x, double y, double z, double timestamp) {
        if (delegate) {
            delegate->accelerometerDidAccelerate(this, {x, y, z, timestamp});
        }
    }

    void lose(const QString &reason) {
        if (delegate) {
            delegate->accelerometerWasLost(this, reason);
        }
    }
    void comeBack() {
        if (delegate) {
            delegate->accelerometerDidComeBack(this);
        }
    }

    bool deviceTimestamps = false;  // as a sensor with a clock of its own
    double rate = 0;                // as a sensor that runs at a rate of its own
    AccelerometerDelegate *delegate = nullptr;
    double interval = 0;
    int delegateSets = 0;
    int intervalSets = 0;
};
