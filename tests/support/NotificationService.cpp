#include "support/NotificationService.h"

bool NotificationService::registerOn(QDBusConnection bus) {
    return bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                              QDBusConnection::ExportAllSlots) &&
           bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
}

uint NotificationService::Notify(const QString &appName, uint replacesId, const QString &appIcon,
                                 const QString &summary, const QString &body,
                                 const QStringList &actions, const QVariantMap &hints,
                                 int expireTimeout) {
    calls.append({appName, replacesId, appIcon, summary, body, actions, hints, expireTimeout});
    return uint(calls.size());
}
