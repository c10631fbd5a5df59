#include "platform/DeviceIdentifier.h"

#include <QFile>
#include <QMessageAuthenticationCode>
#include <QSysInfo>

namespace {
QString overrideIdentifier;

QByteArray machineId(const QStringList &files) {
    for (const QString &path : files) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            // One line of 32 hexadecimal digits; a generous limit, whatever the file holds.
            const QByteArray id = file.readLine(4096).trimmed();
            if (!id.isEmpty()) {
                return id;
            }
        }
    }
    return {};
}
}  // namespace

namespace DeviceIdentifier {

const QStringList &machineIdFiles() {
    static const QStringList files = {QStringLiteral("/etc/machine-id"),
                                      QStringLiteral("/var/lib/dbus/machine-id")};
    return files;
}

QString derivedIdentifier(const QStringList &files) {
    QByteArray id = machineId(files);
    if (id.isEmpty()) {
        id = QSysInfo::machineHostName().toUtf8();
    }
    const QByteArray mac = QMessageAuthenticationCode::hash(
        id, QByteArrayLiteral("shakelog device identifier"), QCryptographicHash::Sha256);
    return QString::fromLatin1(mac.toHex().left(32));
}

QString uniqueIdentifier() {
    if (!overrideIdentifier.isEmpty()) {
        return overrideIdentifier;
    }
    static const QString identifier = derivedIdentifier(machineIdFiles());
    return identifier;
}

void setOverride(const QString &identifier) { overrideIdentifier = identifier; }

}  // namespace DeviceIdentifier
