#include "support/SimulatedIioDevice.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstring>
#include <stdexcept>

SimulatedIioDevice::SimulatedIioDevice(const QByteArray &name) : mName(name) {
    mOldSysfs = qgetenv("SHAKELOG_IIO_SYSFS_DIR");
    mOldDev = qgetenv("SHAKELOG_IIO_DEV_DIR");
    qputenv("SHAKELOG_IIO_SYSFS_DIR", root().toLocal8Bit());
    qputenv("SHAKELOG_IIO_DEV_DIR", devDirectory().toLocal8Bit());
    create();
}

SimulatedIioDevice::~SimulatedIioDevice() {
    closeWriter();
    qputenv("SHAKELOG_IIO_SYSFS_DIR", mOldSysfs);
    qputenv("SHAKELOG_IIO_DEV_DIR", mOldDev);
}

void SimulatedIioDevice::create() {
    QDir().mkpath(devDirectory());
    ::mkfifo(QFile::encodeName(fifo()).constData(), 0600);
    setAttribute("name", mName);
    const char *axes[] = {"x", "y", "z"};
    for (int a = 0; a < 3; ++a) {
        const QString channel = QStringLiteral("in_accel_%1").arg(QLatin1String(axes[a]));
        setAttribute(channel + "_raw", "0");
        setAttribute("scan_elements/" + channel + "_en", "0");
        setAttribute("scan_elements/" + channel + "_index", QByteArray::number(a));
        setAttribute("scan_elements/" + channel + "_type", "le:s16/16>>0");
    }
    setAttribute("in_accel_scale", kScale);
    setAttribute("scan_elements/in_timestamp_en", "0");
    setAttribute("scan_elements/in_timestamp_index", "3");
    setAttribute("scan_elements/in_timestamp_type", "le:s64/64>>0");
    setAttribute("sampling_frequency", "50");
    setAttribute("sampling_frequency_available", "10 50 100 200 500 1000");
    setAttribute("current_timestamp_clock", "realtime");
    setAttribute("buffer/enable", "0");
    setAttribute("buffer/length", "2");
    setAttribute("trigger/current_trigger", "");
    QDir().mkpath(root() + "/trigger0");
    QFile trigger(root() + "/trigger0/name");
    if (!trigger.open(QIODevice::WriteOnly) || trigger.write(mName + "-dev0\n") < 0) {
        throw std::runtime_error("cannot lay out the simulated trigger");
    }
}

void SimulatedIioDevice::remove() {
    closeWriter();
    QDir(path()).removeRecursively();
    QFile::remove(fifo());
}

void SimulatedIioDevice::setAttribute(const QString &name, const QByteArray &value) {
    const QString file = path() + "/" + name;
    QDir().mkpath(QFileInfo(file).path());
    // In place and never empty, as the kernel's attributes: a reader holding the file open
    // meanwhile sees the old value or the new one (a shorter one may trail a line feed).
    QFile out(file);
    const QByteArray line = value + "\n";
    if (!out.open(QIODevice::ReadWrite | QIODevice::Unbuffered) ||
        out.write(line) != line.size() || !out.resize(line.size())) {
        throw std::runtime_error("cannot write a simulated attribute");
    }
}

void SimulatedIioDevice::removeAttribute(const QString &name) {
    QFile::remove(path() + "/" + name);
}

QByteArray SimulatedIioDevice::attribute(const QString &name) const {
    QFile in(path() + "/" + name);
    return in.open(QIODevice::ReadOnly) ? in.readAll().trimmed() : QByteArray();
}

std::map<std::string, std::string> SimulatedIioDevice::snapshot() const {
    std::map<std::string, std::string> attributes;
    QDirIterator it(path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = QDir(path()).relativeFilePath(it.next());
        attributes[name.toStdString()] = attribute(name).toStdString();
    }
    return attributes;
}

void SimulatedIioDevice::openWriter() {
    if (mWriter < 0) {
        mWriter = ::open(QFile::encodeName(fifo()).constData(), O_RDWR | O_CLOEXEC);
    }
}

void SimulatedIioDevice::closeWriter() {
    if (mWriter >= 0) {
        ::close(mWriter);
        mWriter = -1;
    }
}

void SimulatedIioDevice::write(const QByteArray &bytes) {
    if (mWriter < 0 || ::write(mWriter, bytes.constData(), size_t(bytes.size())) != bytes.size()) {
        throw std::runtime_error("cannot write to the simulated character device");
    }
}

QByteArray SimulatedIioDevice::scan(int16_t x, int16_t y, int16_t z, int64_t timestampNs) {
    QByteArray bytes(16, '\0');
    const int16_t axes[3] = {x, y, z};
    for (int a = 0; a < 3; ++a) {
        bytes[2 * a] = char(uint16_t(axes[a]) & 0xff);
        bytes[2 * a + 1] = char(uint16_t(axes[a]) >> 8);
    }
    for (int i = 0; i < 8; ++i) {
        bytes[8 + i] = char(uint64_t(timestampNs) >> (8 * i));
    }
    return bytes;
}
