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

    void deliver(double x, double y, double z, double timestamp) {
        if (delegate) {
            delegate->accelerometerDidAccelerate(this, {x, y, z, timestamp});
        }
    }

    AccelerometerDelegate *delegate = nullptr;
    double interval = 0;
    int delegateSets = 0;
    int intervalSets = 0;
};
