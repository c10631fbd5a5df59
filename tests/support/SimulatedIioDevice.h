#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <map>
#include <string>

// An IIO accelerometer laid out as the kernel shows it, in a temporary folder: a sysfs tree
// (attributes as files, scan_elements/, buffer/, trigger/, a data-ready trigger beside it) and a
// FIFO standing in for the character device. By default an MPU-6050: three le:s16/16>>0 axes
// and a 64-bit time stamp, 1 g = 16384 counts, rates 10 to 1000, the buffer off, no trigger set.
// While it lives, SHAKELOG_IIO_SYSFS_DIR and SHAKELOG_IIO_DEV_DIR point at it.
class SimulatedIioDevice {
public:
    // The scale that makes 16384 counts one standard gravity.
    static constexpr const char *kScale = "0.0005985504150390625";

    explicit SimulatedIioDevice(const QByteArray &name = "mpu6050");
    ~SimulatedIioDevice();
    SimulatedIioDevice(const SimulatedIioDevice &) = delete;
    SimulatedIioDevice &operator=(const SimulatedIioDevice &) = delete;

    QString root() const { return mDir.filePath(QStringLiteral("sys")); }     // holds iio:device0
    QString path() const { return root() + QStringLiteral("/iio:device0"); }  // the device
    QString devDirectory() const { return mDir.filePath(QStringLiteral("dev")); }
    QString fifo() const { return devDirectory() + QStringLiteral("/iio:device0"); }

    // Writes an attribute of the device ("buffer/enable"), making folders as needed.
    void setAttribute(const QString &name, const QByteArray &value);
    void removeAttribute(const QString &name);
    // An attribute's content, trimmed; empty when absent.
    QByteArray attribute(const QString &name) const;
    // Every attribute of the device with its content.
    std::map<std::string, std::string> snapshot() const;

    // Lays the whole device out again (after remove()).
    void create();
    // The device goes away: its sysfs folder and its FIFO.
    void remove();

    // Holds the FIFO open for writing (reading and writing, so that opening never blocks); the
    // reader sees the end of the data when it is closed.
    void openWriter();
    void closeWriter();
    void write(const QByteArray &bytes);

    // One scan of the default layout: x, y, z as le:s16 and the time stamp at byte 8.
    static QByteArray scan(int16_t x, int16_t y, int16_t z, int64_t timestampNs);

private:
    QTemporaryDir mDir;
    QByteArray mName;
    int mWriter = -1;
    QByteArray mOldSysfs, mOldDev;
};
