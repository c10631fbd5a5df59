#include "platform/iio/SysfsAttributes.h"

#include "platform/PrintableText.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace {
bool writeFile(const QString &path, const QByteArray &value, int *errnoValue) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        *errnoValue = errno;
        return false;
    }
    // With a line feed: an empty write never reaches a sysfs attribute's handler, and an empty
    // line is how a trigger is cleared.
    const QByteArray line = value + '\n';
    const ssize_t written = ::write(fd, line.constData(), size_t(line.size()));
    *errnoValue = written == ssize_t(line.size()) ? 0 : (written < 0 ? errno : EIO);
    ::close(fd);
    return *errnoValue == 0;
}
}  // namespace

bool SysfsAttributes::exists(const QString &name) const { return QFileInfo::exists(path(name)); }

std::optional<QByteArray> SysfsAttributes::read(const QString &name, QString *error) const {
    const int fd = ::open(QFile::encodeName(path(name)).constData(), O_RDONLY | O_CLOEXEC);
    // sysfs attributes are at most a page; the bound keeps a stray large file from costing much.
    char text[4096];
    const ssize_t got = fd < 0 ? -1 : ::read(fd, text, sizeof text);
    const int code = errno;
    if (fd >= 0) {
        ::close(fd);
    }
    if (got < 0) {
        if (error && code != ENOENT) {
            *error = QStringLiteral("cannot read %1: %2")
                         .arg(path(name), QString::fromLocal8Bit(std::strerror(code)));
        }
        return std::nullopt;
    }
    return QByteArray(text, got).trimmed();
}

std::optional<double> SysfsAttributes::readNumber(const QString &name, QString *error) const {
    const std::optional<QByteArray> text = read(name, error);
    if (!text) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = text->toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        *error =
            QStringLiteral("%1: '%2' is not a number").arg(path(name), printableText(*text));
        return std::nullopt;
    }
    return value;
}

bool SysfsAttributes::write(const QString &name, const QByteArray &value, QString *error,
                            int *errnoValue) {
    const std::optional<QByteArray> original = read(name);
    if (original && *original == value) {
        return true;
    }
    int code = 0;
    if (!writeFile(path(name), value, &code)) {
        *error = QStringLiteral("cannot write '%1' to %2: %3")
                     .arg(QString::fromLatin1(value), path(name),
                          QString::fromLocal8Bit(std::strerror(code)));
        if (errnoValue) {
            *errnoValue = code;
        }
        return false;
    }
    if (original) {
        mChanges.push_back({name, *original});
    }
    return true;
}

void SysfsAttributes::restore() {
    while (!mChanges.empty()) {
        const Change change = mChanges.back();
        mChanges.pop_back();
        int ignored = 0;
        writeFile(path(change.name), change.original, &ignored);
    }
}
