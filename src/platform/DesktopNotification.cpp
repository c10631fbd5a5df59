#include "platform/DesktopNotification.h"

#include "platform/SystemLog.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QGuiApplication>
#include <QStringList>
#include <QVariantMap>

DesktopNotification::DesktopNotification(QObject *parent)
    : DesktopNotification(QDBusConnection::sessionBus(), parent) {}

DesktopNotification::DesktopNotification(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), mBus(bus) {}

void DesktopNotification::show(const QString &summary, const QString &body) {
    if (!mBus.isConnected()) {
        reportUnavailable(QStringLiteral("no session bus"));
        return;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout (-1: the
    // server's default).
    message.setArguments({QGuiApplication::applicationDisplayName(), 0u, QString(), summary, body,
                          QStringList(), QVariantMap(), -1});
    // Never a blocking call: a notification server that hangs must not stop the traces.
    auto *watcher = new QDBusPendingCallWatcher(mBus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *call) {
                call->deleteLater();
                if (call->isError()) {
                    reportUnavailable(call->error().message());
                }
            });
}

void DesktopNotification::reportUnavailable(const QString &reason) {
    // A desktop without a notification service stays without one: one line is enough. Later
    // notifications are still sent, for a service that starts after us.
    if (mReportedUnavailable) {
        return;
    }
    mReportedUnavailable = true;
    SystemLog::log(QStringLiteral("Desktop notifications unavailable: %1").arg(reason));
}
