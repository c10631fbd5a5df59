#include "platform/iio/IioDevice.h"

#include "platform/PrintableText.h"
#include "platform/iio/SysfsAttributes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {
// "iio:device12" → 12; -1 for anything else.
int deviceNumber(const QString &directoryName) {
    if (!directoryName.startsWith(QLatin1String("iio:device"))) {
        return -1;
    }
    bool ok = false;
    const int number = directoryName.mid(10).toInt(&ok);
    return ok ? number : -1;
}

QString firstExisting(const SysfsAttributes &attributes, std::initializer_list<QString> names) {
    for (const QString &name : names) {
        if (attributes.exists(name)) {
            return name;
        }
    }
    return {};
}

// "1, 0, 0; 0, 1, 0; 0, 0, 1": three rows of three numbers.
std::optional<IioCalibration::Matrix> parseMountMatrix(const QByteArray &text) {
    const QList<QByteArray> rows = text.split(';');
    if (rows.size() != 3) {
        return std::nullopt;
    }
    IioCalibration::Matrix matrix{};
    for (int r = 0; r < 3; ++r) {
        const QList<QByteArray> cells = rows[r].split(',');
        if (cells.size() != 3) {
            return std::nullopt;
        }
        for (int c = 0; c < 3; ++c) {
            bool ok = false;
            matrix[r][c] = cells[c].trimmed().toDouble(&ok);
            if (!ok || !std::isfinite(matrix[r][c])) {
                return std::nullopt;
            }
        }
    }
    return matrix;
}

QString numberText(double value) { return QString::number(value, 'g', 10); }
}  // namespace

QString IioDevice::sysfsRoot() {
    const QString root = qEnvironmentVariable("SHAKELOG_IIO_SYSFS_DIR");
    return root.isEmpty() ? QStringLiteral("/sys/bus/iio/devices") : root;
}

QString IioDevice::deviceDirectory() {
    const QString dir = qEnvironmentVariable("SHAKELOG_IIO_DEV_DIR");
    return dir.isEmpty() ? QStringLiteral("/dev") : dir;
}

bool IioDevice::isAccelerometer(const QString &path) {
    const QDir dir(path);
    for (const char *axis : kAxes) {
        const QString channel = QStringLiteral("in_accel_%1").arg(QLatin1String(axis));
        if (!dir.exists(channel + QLatin1String("_raw")) &&
            !dir.exists(QStringLiteral("scan_elements/%1_en").arg(channel))) {
            return false;
        }
    }
    return true;
}

QStringList IioDevice::findAccelerometers() {
    const QDir root(sysfsRoot());
    QStringList names = root.entryList({QStringLiteral("iio:device*")},
                                       QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
    names.removeIf([](const QString &name) { return deviceNumber(name) < 0; });
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return deviceNumber(a) < deviceNumber(b); });
    QStringList paths;
    for (const QString &name : names) {
        const QString path = root.filePath(name);
        if (isAccelerometer(path)) {
            paths << path;
        }
    }
    return paths;
}

QString IioDevice::locate(const QString &which, QString *error) {
    if (which.contains(QLatin1Char('/'))) {
        if (!QFileInfo(which).isDir()) {
            *error = QStringLiteral("%1: no such IIO device directory").arg(which);
            return {};
        }
        if (!isAccelerometer(which)) {
            *error = QStringLiteral("%1: not an accelerometer (no in_accel_x, _y and _z channels)")
                         .arg(which);
            return {};
        }
        return QFileInfo(which).absoluteFilePath();
    }
    const QStringList found = findAccelerometers();
    for (const QString &path : found) {
        if (which.isEmpty() || QFileInfo(path).fileName() == which) {
            return path;
        }
        if (SysfsAttributes(path).read(QStringLiteral("name")) == which.toLatin1()) {
            return path;
        }
    }
    *error = which.isEmpty()
                 ? QStringLiteral("No IIO accelerometer found in %1.").arg(sysfsRoot())
                 : QStringLiteral("No IIO accelerometer named '%1' in %2 (see --list-sensors).")
                       .arg(which, sysfsRoot());
    return {};
}

std::optional<IioDevice> IioDevice::read(const QString &path, QString *error) {
    if (!isAccelerometer(path)) {
        *error = QStringLiteral("%1: not an accelerometer (no in_accel_x, _y and _z channels)")
                     .arg(path);
        return std::nullopt;
    }
    const SysfsAttributes attributes(path);
    IioDevice device;
    device.path = path;
    device.name = printableText(attributes.read(QStringLiteral("name")).value_or(""));
    device.label = printableText(attributes.read(QStringLiteral("label")).value_or(""));

    QString problem;
    for (int a = 0; a < 3; ++a) {
        const QString axis = QLatin1String(kAxes[a]);
        for (auto [suffix, target] :
             {std::pair{QStringLiteral("scale"), &device.calibration.scale},
              std::pair{QStringLiteral("offset"), &device.calibration.offset}}) {
            const QString name =
                firstExisting(attributes, {QStringLiteral("in_accel_%1_%2").arg(axis, suffix),
                                           QStringLiteral("in_accel_%1").arg(suffix)});
            if (name.isEmpty()) {
                continue;
            }
            const std::optional<double> value = attributes.readNumber(name, &problem);
            if (!value) {
                *error = problem;
                return std::nullopt;
            }
            (*target)[a] = *value;
        }
    }

    const QString matrixName = firstExisting(
        attributes, {QStringLiteral("in_accel_mount_matrix"), QStringLiteral("in_mount_matrix"),
                     QStringLiteral("mount_matrix")});
    if (!matrixName.isEmpty()) {
        const QByteArray text = attributes.read(matrixName).value_or("");
        const std::optional<IioCalibration::Matrix> matrix = parseMountMatrix(text);
        if (!matrix) {
            *error = QStringLiteral(
                         "%1: '%2' is not a mount matrix such as "
                         "'1, 0, 0; 0, 1, 0; 0, 0, 1'")
                         .arg(attributes.path(matrixName), printableText(text));
            return std::nullopt;
        }
        device.calibration.mountMatrix = *matrix;
        device.hasMountMatrix = true;
    }

    device.samplingFrequencyAttribute = firstExisting(
        attributes,
        {QStringLiteral("in_accel_sampling_frequency"), QStringLiteral("sampling_frequency")});
    // The rates only tune capture: a device whose rate attributes cannot be read still records,
    // at the rate it has, and says why.
    if (!device.samplingFrequencyAttribute.isEmpty()) {
        problem.clear();
        device.samplingFrequency =
            attributes.readNumber(device.samplingFrequencyAttribute, &problem);
        if (!problem.isEmpty()) {
            device.rateProblem = problem;
        }
        const QString availableName =
            device.samplingFrequencyAttribute + QLatin1String("_available");
        problem.clear();
        const std::optional<QByteArray> available = attributes.read(availableName, &problem);
        if (available) {
            device.availableRates = IioRates::parse(*available, &problem);
            if (!device.availableRates) {
                device.rateProblem =
                    QStringLiteral("%1: %2").arg(attributes.path(availableName), problem);
            }
        } else if (!problem.isEmpty()) {
            device.rateProblem = problem;
        }
        if (!device.rateProblem.isEmpty()) {
            device.samplingFrequencyAttribute.clear();  // left as it is
        }
    }

    device.buffered = attributes.exists(QStringLiteral("buffer/enable"));
    for (const char *axis : kAxes) {
        device.buffered =
            device.buffered &&
            attributes.exists(
                QStringLiteral("scan_elements/in_accel_%1_en").arg(QLatin1String(axis)));
    }
    device.currentTrigger = QString::fromLatin1(
        attributes.read(QStringLiteral("trigger/current_trigger")).value_or(""));
    // A data-ready trigger is named after its device: "mpu6050-dev1", "lis3dh-trigger".
    const QDir root = QFileInfo(path).dir();
    const QString exact =
        QStringLiteral("%1-dev%2")
            .arg(device.name, QString::number(deviceNumber(QFileInfo(path).fileName())));
    for (const QString &trigger :
         root.entryList({QStringLiteral("trigger*")}, QDir::Dirs | QDir::System)) {
        const std::optional<QByteArray> name =
            SysfsAttributes(root.filePath(trigger)).read(QStringLiteral("name"));
        if (device.name.isEmpty() || !name) {
            continue;
        }
        const QString triggerName = QString::fromLatin1(*name);
        if (triggerName == exact || (device.ownTrigger.isEmpty() &&
                                     triggerName.startsWith(device.name + QLatin1Char('-')))) {
            device.ownTrigger = triggerName;
        }
    }
    return device;
}

QString IioDevice::deviceName() const { return QFileInfo(path).fileName(); }

QString IioDevice::characterDevice() const {
    return deviceDirectory() + QLatin1Char('/') + deviceName();
}

int IioDevice::maximumRate() const {
    return availableRates ? int(std::floor(availableRates->maximum())) : 0;
}

QString IioDevice::describe() const {
    QStringList lines;
    lines << QStringLiteral("IIO accelerometer %1").arg(deviceName());
    lines << QStringLiteral("sysfs path: %1").arg(path);
    lines << QStringLiteral("name: %1").arg(name.isEmpty() ? QStringLiteral("(none)") : name);
    if (!label.isEmpty()) {
        lines << QStringLiteral("label: %1").arg(label);
    }
    const auto triple = [](const std::array<double, 3> &v) {
        if (v[0] == v[1] && v[1] == v[2]) {
            return numberText(v[0]);
        }
        return QStringLiteral("x %1, y %2, z %3")
            .arg(numberText(v[0]), numberText(v[1]), numberText(v[2]));
    };
    lines << QStringLiteral("scale: %1 m/s² per count").arg(triple(calibration.scale));
    lines << QStringLiteral("offset: %1 counts").arg(triple(calibration.offset));
    if (hasMountMatrix) {
        QStringList rows;
        for (const auto &row : calibration.mountMatrix) {
            rows << QStringLiteral("%1, %2, %3")
                        .arg(numberText(row[0]), numberText(row[1]), numberText(row[2]));
        }
        lines << QStringLiteral("mount matrix: %1").arg(rows.join(QStringLiteral("; ")));
    } else {
        lines << QStringLiteral("mount matrix: none (axes as the chip's)");
    }
    if (!rateProblem.isEmpty()) {
        lines << QStringLiteral("rates left as they are: %1").arg(rateProblem);
    }
    lines << QStringLiteral("sampling rate: %1")
                 .arg(samplingFrequency
                          ? numberText(*samplingFrequency) + QStringLiteral(" samples/s")
                          : QStringLiteral("not adjustable"));
    lines << QStringLiteral("available rates: %1")
                 .arg(availableRates ? availableRates->text() : QStringLiteral("not listed"));
    lines << QStringLiteral("buffered capture: %1").arg(buffered ? "yes" : "no");
    lines << QStringLiteral("trigger: %1")
                 .arg(!currentTrigger.isEmpty() ? currentTrigger + QStringLiteral(" (current)")
                      : !ownTrigger.isEmpty()   ? ownTrigger + QStringLiteral(" (the device's own)")
                                                : QStringLiteral("none"));
    const QString device = characterDevice();
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    const int openErrno = errno;
    if (fd >= 0) {
        ::close(fd);
        lines << QStringLiteral("character device: %1 (this user may open it)").arg(device);
    } else {
        lines << QStringLiteral("character device: %1").arg(iioOpenError(device, openErrno));
    }
    return lines.join(QStringLiteral("\n  "));
}

QString iioOpenError(const QString &characterDevice, int errnoValue) {
    QString message = QStringLiteral("cannot open %1: %2")
                          .arg(characterDevice, QString::fromLocal8Bit(std::strerror(errnoValue)));
    if (errnoValue == EACCES || errnoValue == EPERM) {
        message += QStringLiteral(
            " (install Shakelog's udev rule, 60-shakelog-iio.rules, and join its group "
            "\"iio\": see docs/sensors.md)");
    } else if (errnoValue == EBUSY) {
        message += QStringLiteral(" (another program is reading it)");
    }
    return message;
}
