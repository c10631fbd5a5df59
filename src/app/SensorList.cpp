#include "app/SensorList.h"

#include "platform/iio/IioDevice.h"

#include <QAccelerometer>
#include <QStringList>

namespace {
QString describeQtSensorsBackend(const QByteArray &identifier) {
    QAccelerometer sensor;
    sensor.setIdentifier(identifier);
    const bool connected = sensor.connectToBackend();
    QStringList rates;
    for (const qrange &range : sensor.availableDataRates()) {
        rates << (range.first == range.second
                      ? QString::number(range.first)
                      : QStringLiteral("%1-%2").arg(range.first).arg(range.second));
    }
    QStringList lines;
    lines << QStringLiteral("Qt Sensors accelerometer %1").arg(QString::fromLatin1(identifier));
    lines << QStringLiteral("connects: %1").arg(connected ? "yes" : "no");
    lines << QStringLiteral("available rates: %1")
                 .arg(rates.isEmpty() ? QStringLiteral("not listed") : rates.join(' '));
    return lines.join(QStringLiteral("\n  "));
}
}  // namespace

QString describeAccelerometers() {
    QStringList blocks;
    for (const QByteArray &identifier : QSensor::sensorsForType(QAccelerometer::sensorType)) {
        if (!identifier.startsWith("dummy.")) {
            blocks << describeQtSensorsBackend(identifier);
        }
    }
    for (const QString &path : IioDevice::findAccelerometers()) {
        QString error;
        const std::optional<IioDevice> device = IioDevice::read(path, &error);
        blocks << (device
                       ? device->describe()
                       : QStringLiteral("IIO accelerometer %1\n  unusable: %2").arg(path, error));
    }
    if (blocks.isEmpty()) {
        return QStringLiteral(
                   "No accelerometer found: Qt Sensors offers none but its dummy "
                   "backend, and %1 holds no IIO accelerometer.\n")
            .arg(IioDevice::sysfsRoot());
    }
    return blocks.join(QStringLiteral("\n\n")) + QLatin1Char('\n');
}
