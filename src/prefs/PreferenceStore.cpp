#include "prefs/PreferenceStore.h"

#include "platform/PrintableText.h"
#include "platform/SystemLog.h"
#include "platform/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

namespace {
const QString kString = QStringLiteral("string");
const QString kBoolean = QStringLiteral("boolean");
const QString kInteger = QStringLiteral("integer");
const QString kFloat = QStringLiteral("float");

QJsonObject toJson(const PrefValue &value) {
    switch (prefTypeOf(value)) {
    case PrefType::String: return {{kString, std::get<QString>(value)}};
    case PrefType::Boolean: return {{kBoolean, std::get<bool>(value)}};
    case PrefType::Integer: return {{kInteger, std::get<qint32>(value)}};
    case PrefType::Float: return {{kFloat, double(std::get<float>(value))}};
    }
    return {};
}

std::optional<PrefValue> fromJson(const QJsonValue &json) {
    const QJsonObject object = json.toObject();
    if (!json.isObject() || object.size() != 1) {
        return std::nullopt;
    }
    const QString type = object.begin().key();
    const QJsonValue value = object.begin().value();
    if (type == kString && value.isString()) {
        return value.toString();
    }
    if (type == kBoolean && value.isBool()) {
        return value.toBool();
    }
    if (type == kInteger && value.isDouble()) {
        const double d = value.toDouble();
        if (d == std::trunc(d) && d >= std::numeric_limits<qint32>::min() &&
            d <= std::numeric_limits<qint32>::max()) {
            return qint32(d);
        }
    }
    if (type == kFloat && value.isDouble()) {
        // 1e39 is a double but no float; kept, it would be written back as null.
        const float f = float(value.toDouble());
        if (std::isfinite(f)) {
            return f;
        }
    }
    return std::nullopt;
}
}  // namespace

PreferenceStore::PreferenceStore(const QString &directory)
    : mFilePath(QDir(directory).filePath(QString::fromLatin1(kFileName))) {}

QString PreferenceStore::defaultDirectory(const QString &commandLineDirectory) {
    if (!commandLineDirectory.isEmpty()) {
        return commandLineDirectory;
    }
    const QString fromEnvironment = qEnvironmentVariable("SHAKELOG_CONFIG_DIR");
    if (!fromEnvironment.isEmpty()) {
        return fromEnvironment;
    }
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

std::optional<PrefValue> PreferenceStore::copyAppValue(const QString &key) {
    load();
    const auto it = mValues.constFind(key);
    if (it == mValues.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

void PreferenceStore::setAppValue(const QString &key, const std::optional<PrefValue> &value) {
    load();
    if (value) {
        mValues.insert(key, *value);
    } else {
        mValues.remove(key);
    }
}

bool PreferenceStore::synchronize() {
    load();
    if (mFilePath.isEmpty()) {
        return false;  // the unreadable file stays as it is; already logged
    }
    QString error;
    if (!QDir().mkpath(QFileInfo(mFilePath).path())) {
        error = QStringLiteral("cannot create the folder");
    } else {
        writeWholeFile(mFilePath, serialize(mValues), &error);
    }
    if (!error.isEmpty()) {
        SystemLog::log(
            QStringLiteral("Could not save preferences to %1: %2").arg(mFilePath, error));
        return false;
    }
    return true;
}

QByteArray PreferenceStore::serialize(const QMap<QString, PrefValue> &values) {
    QJsonObject object;
    for (auto it = values.constBegin(); it != values.constEnd(); ++it) {
        object.insert(it.key(), toJson(it.value()));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<QMap<QString, PrefValue>> PreferenceStore::parse(const QByteArray &bytes,
                                                               QString *error) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        if (error) {
            *error = parseError.error != QJsonParseError::NoError
                         ? parseError.errorString()
                         : QStringLiteral("not an object of settings");
        }
        return std::nullopt;
    }
    QMap<QString, PrefValue> values;
    const QJsonObject object = document.object();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const std::optional<PrefValue> value = fromJson(it.value());
        if (!value) {
            if (error) {
                *error = QStringLiteral("bad value for %1").arg(printableText(it.key().toUtf8()));
            }
            return std::nullopt;
        }
        values.insert(it.key(), *value);
    }
    return values;
}

void PreferenceStore::load() {
    if (mLoaded) {
        return;
    }
    mLoaded = true;
    QFile file(mFilePath);
    if (!file.exists()) {
        return;
    }
    // Opened without blocking and checked: a FIFO in its place would hold start-up until
    // something wrote to it.
    const int fd =
        ::open(QFile::encodeName(mFilePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (fd >= 0 && (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))) {
        ::close(fd);
        moveAside(QStringLiteral("not a regular file"));
        return;
    }
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        const QString reason =
            fd < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
        if (fd >= 0) {
            ::close(fd);
        }
        moveAside(reason);
        return;
    }
    QString error;
    const std::optional<QMap<QString, PrefValue>> values = parse(file.readAll(), &error);
    file.close();
    if (!values) {
        moveAside(error);
        return;
    }
    mValues = *values;
}

QString PreferenceStore::asideName() const {
    // Never overwrite an earlier copy: the user may still want what is in it.
    QString target = mFilePath + QStringLiteral(".corrupt");
    for (int n = 1; QFile::exists(target); ++n) {
        target = mFilePath + QStringLiteral(".corrupt.%1").arg(n);
    }
    return target;
}

bool PreferenceStore::keepCopy(const QString &reason) {
    if (mFilePath.isEmpty() || !QFile::exists(mFilePath)) {
        return false;
    }
    const QString target = asideName();
    if (!QFile::copy(mFilePath, target)) {
        SystemLog::log(QStringLiteral("Preferences file %1: %2; no copy could be kept")
                           .arg(mFilePath, reason));
        return false;
    }
    SystemLog::log(
        QStringLiteral("Preferences file %1: %2; copied to %3").arg(mFilePath, reason, target));
    return true;
}

void PreferenceStore::moveAside(const QString &reason) {
    const QString target = asideName();
    if (QFile::rename(mFilePath, target)) {
        SystemLog::log(
            QStringLiteral("Preferences file %1 could not be read (%2); moved aside to %3")
                .arg(mFilePath, reason, target));
    } else {
        SystemLog::log(QStringLiteral("Preferences file %1 could not be read (%2) nor moved aside; "
                                      "settings of this run are not saved")
                           .arg(mFilePath, reason));
        // Writing would overwrite the file we could not read.
        mFilePath.clear();
    }
}
