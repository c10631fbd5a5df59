#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// The attributes of one sysfs directory: reading them, and writing them with the old value kept,
// so that restore() (also run by the destructor) leaves the device as it was found, last change
// first. Names are relative to the directory ("buffer/enable").
class SysfsAttributes {
public:
    explicit SysfsAttributes(QString directory) : mDirectory(std::move(directory)) {}
    ~SysfsAttributes() { restore(); }
    SysfsAttributes(const SysfsAttributes &) = delete;
    SysfsAttributes &operator=(const SysfsAttributes &) = delete;

    const QString &directory() const { return mDirectory; }
    QString path(const QString &name) const { return mDirectory + QLatin1Char('/') + name; }
    bool exists(const QString &name) const;

    // The content without surrounding white space; none when absent or unreadable, and then,
    // when it is there but cannot be read, `error` (if given) names the file and the reason.
    std::optional<QByteArray> read(const QString &name, QString *error = nullptr) const;
    // None when absent; when unreadable or not a number, none and `error` names the file and the
    // reason or its content.
    std::optional<double> readNumber(const QString &name, QString *error) const;

    // Writes `value` unless the attribute holds it already, remembering the value it replaced.
    // On failure `error` names the file and the reason, and `errnoValue` holds errno.
    bool write(const QString &name, const QByteArray &value, QString *error,
               int *errnoValue = nullptr);
    // Puts back every value written, last first; failures are ignored (the device may be gone).
    void restore();

private:
    struct Change {
        QString name;
        QByteArray original;
    };
    QString mDirectory;
    std::vector<Change> mChanges;
};
