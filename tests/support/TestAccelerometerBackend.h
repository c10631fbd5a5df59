#pragma once

#include <QAccelerometerReading>
#include <QSensorBackend>
#include <QSensorBackendFactory>

// A Qt Sensors accelerometer backend that tests drive by hand: it reports what push() is
// given, the way a driver-backed backend would. Register it with install().
class TestAccelerometerBackend : public QSensorBackend {
public:
    static constexpr const char *kIdentifier = "test.accelerometer";
    static inline TestAccelerometerBackend *current = nullptr;  // the last one created

    static void install();

    explicit TestAccelerometerBackend(QSensor *sensor) : QSensorBackend(sensor) {
        mReading = setReading<QAccelerometerReading>(nullptr);
        addDataRate(1, 1000);
        current = this;
    }
    ~TestAccelerometerBackend() override {
        if (current == this) {
            current = nullptr;
        }
    }

    void start() override {
        active = true;
        startedWithRate = sensor()->dataRate();
        ++starts;
    }
    void stop() override { active = false; }

    // m/s², Qt's convention.
    void push(qreal x, qreal y, qreal z) {
        mReading->setX(x);
        mReading->setY(y);
        mReading->setZ(z);
        mReading->setTimestamp(++mCounter);
        newReadingAvailable();
    }

    bool active = false;
    int startedWithRate = 0;
    int starts = 0;

private:
    QAccelerometerReading *mReading = nullptr;
    quint64 mCounter = 0;
};

class TestAccelerometerFactory : public QSensorBackendFactory {
public:
    QSensorBackend *createBackend(QSensor *sensor) override {
        return new TestAccelerometerBackend(sensor);
    }
};
