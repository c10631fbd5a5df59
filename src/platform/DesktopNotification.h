#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// A notification on the desktop: org.freedesktop.Notifications.Notify on the session bus (or
// the bus given), under the application's display name. The call is sent without waiting for
// its answer. Where there is no bus or no notification service, the notification is dropped;
// the first time, one log line says why. Main thread.
class DesktopNotification : public QObject {
    Q_OBJECT
public:
    explicit DesktopNotification(QObject *parent = nullptr);
    explicit DesktopNotification(const QDBusConnection &bus, QObject *parent = nullptr);

    // `body` goes as it is: a desktop that takes markup in bodies reads '<' and '&' as markup.
    void show(const QString &summary, const QString &body);

private:
    void reportUnavailable(const QString &reason);

    QDBusConnection mBus;
    bool mReportedUnavailable = false;  // the log line has been written
};
