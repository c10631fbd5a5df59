// What an IIO accelerometer's sysfs directory may hold. The input is lines "attribute=content":
// each known attribute is written as a file of a device directory, which is then read as the
// capture reads it; a line "scan=BYTES" gives one scan to decode with the layout found, and
// "raw=X,Y,Z" raw values to calibrate.
#include "FuzzCheck.h"
#include "platform/iio/IioDevice.h"
#include "platform/iio/IioScanLayout.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <set>

namespace {
const std::set<QByteArray> kAttributes = {"name",
                                          "label",
                                          "in_accel_x_raw",
                                          "in_accel_y_raw",
                                          "in_accel_z_raw",
                                          "in_accel_scale",
                                          "in_accel_x_scale",
                                          "in_accel_y_scale",
                                          "in_accel_z_scale",
                                          "in_accel_offset",
                                          "in_accel_x_offset",
                                          "in_accel_mount_matrix",
                                          "mount_matrix",
                                          "sampling_frequency",
                                          "sampling_frequency_available",
                                          "in_accel_sampling_frequency",
                                          "in_accel_sampling_frequency_available",
                                          "buffer/enable",
                                          "trigger/current_trigger",
                                          "scan_elements/in_accel_x_en",
                                          "scan_elements/in_accel_x_type",
                                          "scan_elements/in_accel_x_index",
                                          "scan_elements/in_accel_y_en",
                                          "scan_elements/in_accel_y_type",
                                          "scan_elements/in_accel_y_index",
                                          "scan_elements/in_accel_z_en",
                                          "scan_elements/in_accel_z_type",
                                          "scan_elements/in_accel_z_index",
                                          "scan_elements/in_timestamp_en",
                                          "scan_elements/in_timestamp_type",
                                          "scan_elements/in_timestamp_index"};

void checkLayout(const IioScanLayout &layout, QByteArray scan) {
    unsigned end = 0;
    for (const IioScanLayout::Element &element : layout.elements()) {
        FUZZ_CHECK(element.offset % element.type.elementBytes() == 0);
        end = std::max(end, element.offset + element.type.elementBytes());
    }
    FUZZ_CHECK(end <= layout.scanBytes());
    scan.resize(layout.scanBytes(), '\0');
    for (const IioScanLayout::Element &element : layout.elements()) {
        for (unsigned i = 0; i < element.type.repeat; ++i) {
            const int64_t value = element.type.decode(
                reinterpret_cast<const uint8_t *>(scan.constData()) + element.offset, i);
            if (element.type.bits < 63) {
                const int64_t limit = int64_t(1) << element.type.bits;
                FUZZ_CHECK(element.type.isSigned ? (value >= -limit / 2 && value < limit / 2)
                                                 : (value >= 0 && value < limit));
            }
        }
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static QTemporaryDir root;
    const QString path = root.filePath(QStringLiteral("iio:device0"));
    QDir(path).removeRecursively();
    QDir().mkpath(path + QStringLiteral("/scan_elements"));
    QDir().mkpath(path + QStringLiteral("/buffer"));
    QDir().mkpath(path + QStringLiteral("/trigger"));

    QByteArray scan;
    std::array<int64_t, 3> raw = {0, 0, 0};
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const QByteArray &line : bytes.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        const QByteArray name = line.left(equals), content = line.mid(equals + 1);
        if (name == "scan") {
            scan = content;
        } else if (name == "raw") {
            const QList<QByteArray> values = content.split(',');
            for (int a = 0; a < 3 && a < values.size(); ++a) {
                raw[a] = values[a].toLongLong();
            }
        } else if (kAttributes.count(name)) {
            QFile file(path + QLatin1Char('/') + QString::fromLatin1(name));
            FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        }
    }

    QString error;
    const std::optional<IioDevice> device = IioDevice::read(path, &error);
    FUZZ_CHECK(isPrintable(error));
    if (device) {
        FUZZ_CHECK(isPrintable(device->rateProblem));
        for (const QString &line : device->describe().split(QLatin1Char('\n'))) {
            FUZZ_CHECK(isPrintable(line));
        }
        if (device->availableRates) {
            const double chosen = device->availableRates->choose(100);
            FUZZ_CHECK(std::isfinite(chosen) && chosen > 0);
        }
        const Acceleration acceleration = device->calibration.toAcceleration(raw, 0);
        FUZZ_CHECK(std::isfinite(acceleration.x) && std::isfinite(acceleration.y) &&
                   std::isfinite(acceleration.z));
    }
    error.clear();
    const std::optional<IioScanLayout> layout = IioScanLayout::read(SysfsAttributes(path), &error);
    FUZZ_CHECK(isPrintable(error));
    if (layout) {
        checkLayout(*layout, scan);
    }
    return 0;
}
