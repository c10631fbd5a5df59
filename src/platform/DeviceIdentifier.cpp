#include "platform/DeviceIdentifier.h"

#include <QMessageAuthenticationCode>
#include <QSysInfo>

namespace {
QString overrideIdentifier;

QString derivedIdentifier() {
    QByteArray machineId = QSysInfo::machineUniqueId();
    if (machineId.isEmpty()) {
        machineId = QSysInfo::machineHostName().toUtf8();
    }
    const QByteArray mac = QMessageAuthenticationCode::hash(
        machineId, QByteArrayLiteral("shakelog device identifier"), QCryptographicHash::Sha256);
    return QString::fromLatin1(mac.toHex().left(32));
}
}  // namespace

namespace DeviceIdentifier {

QString uniqueIdentifier() {
    if (!overrideIdentifier.isEmpty()) {
        return overrideIdentifier;
    }
    static const QString identifier = derivedIdentifier();
    return identifier;
}

void setOverride(const QString &identifier) { overrideIdentifier = identifier; }

}  // namespace DeviceIdentifier
