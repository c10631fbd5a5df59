#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A D-Bus daemon of the test's own, listening in a temporary folder, ended with the object.
// Its configuration names no service folders: nothing installed on the machine (a desktop's
// notification daemon, say) is ever started on it, and the user's session bus is not touched.
class PrivateSessionBus {
public:
    PrivateSessionBus();
    ~PrivateSessionBus();
    PrivateSessionBus(const PrivateSessionBus &) = delete;
    PrivateSessionBus &operator=(const PrivateSessionBus &) = delete;

    // Empty when the daemon did not start (see problem()).
    const QString &address() const { return mAddress; }
    const QString &problem() const { return mProblem; }
    // A connection of its own, under `name`; closed when the bus ends.
    QDBusConnection connect(const QString &name);

private:
    QTemporaryDir mDir;
    QProcess mDaemon;
    QString mAddress;
    QString mProblem;
    QStringList mConnections;
};
