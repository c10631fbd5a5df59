#pragma once

#include "platform/iio/IioCalibration.h"
#include "platform/iio/IioRates.h"

#include <QString>
#include <QStringList>

#include <optional>

// What Shakelog knows of one IIO accelerometer, read from its sysfs directory
// (/sys/bus/iio/devices/iio:deviceN): names, calibration, rates, buffered capture and trigger.
// Read once; nothing is written here.
class IioDevice {
public:
    static constexpr const char *kAxes[3] = {"x", "y", "z"};  // as in in_accel_x_raw

    // Where devices are looked for: $SHAKELOG_IIO_SYSFS_DIR, else /sys/bus/iio/devices.
    static QString sysfsRoot();
    // Where character devices are: $SHAKELOG_IIO_DEV_DIR, else /dev.
    static QString deviceDirectory();

    // A device qualifies when it has x, y and z acceleration channels, as raw attributes or as
    // scan elements.
    static bool isAccelerometer(const QString &path);
    // The sysfs paths of every accelerometer under sysfsRoot(), in device number order.
    static QStringList findAccelerometers();
    // The sysfs path of the device that `which` names: empty for the first one, a `name`, an
    // "iio:deviceN", or a sysfs directory. Empty and `error` set when there is none.
    static QString locate(const QString &which, QString *error);
    // Reads a device. None when it is no accelerometer or an attribute is malformed; then
    // `error` names the file and its content.
    static std::optional<IioDevice> read(const QString &path, QString *error);

    QString path;   // sysfs directory
    QString name;   // the driver's name attribute ("mpu6050")
    QString label;  // the label attribute, empty when absent
    IioCalibration calibration;
    bool hasMountMatrix = false;
    QString samplingFrequencyAttribute;       // attribute name; empty when the device has none
    std::optional<double> samplingFrequency;  // as the device reports it now
    std::optional<IioRates> availableRates;
    // Why the rate attributes could not be used, when they could not; the device then runs at
    // the rate it has (samplingFrequencyAttribute is empty).
    QString rateProblem;
    bool buffered = false;   // accel scan elements and a buffer to enable
    QString currentTrigger;  // empty when none is set
    QString ownTrigger;      // the device's own data-ready trigger, empty when none is found

    // "iio:device0"
    QString deviceName() const;
    // The character device of buffered capture: deviceDirectory()/iio:deviceN.
    QString characterDevice() const;
    // The highest rate the device offers; 0 when it does not say.
    int maximumRate() const;
    // Several lines for --list-sensors, each indented by two spaces after the first.
    QString describe() const;
};

// The message for a character device that cannot be opened, naming the file and, when access is
// denied, the fix.
QString iioOpenError(const QString &characterDevice, int errnoValue);
