#pragma once

#include "platform/Accelerometer.h"

#include <QObject>

#include <memory>

class QAccelerometer;

// The device's accelerometer through Qt Sensors. Qt reports m/s² with a device lying face up
// reading z = +9.8; we deliver g with the opposite sign (face up reads z = -1).
class QtSensorsAccelerometer : public QObject, public Accelerometer {
    Q_OBJECT
public:
    // The identifier of the backend to use, or the platform's default when empty. Backends
    // whose identifier starts with "dummy." deliver fake readings and do not count.
    static QByteArray findAccelerometer();

    explicit QtSensorsAccelerometer(const QByteArray &identifier, QObject *parent = nullptr);
    ~QtSensorsAccelerometer() override;

    // False when the backend could not be connected.
    bool isConnected() const;

    void setDelegate(AccelerometerDelegate *delegate) override;
    void setUpdateInterval(double seconds) override;
    QString description() const override;
    int maximumRate() const override;

    // m/s² in Qt's convention → g in the phone's convention.
    static Acceleration convertReading(double x, double y, double z, double timestamp);

private:
    void readingChanged();
    void applyState();

    std::unique_ptr<QAccelerometer> mSensor;
    AccelerometerDelegate *mDelegate = nullptr;
    double mInterval = 0.01;
    bool mConnected = false;
};
