#include "support/PrivateSessionBus.h"

#include <QFile>

namespace {
// The session bus's own policy (everything allowed among the user's processes), nothing more.
constexpr char kConfiguration[] = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
}  // namespace

PrivateSessionBus::PrivateSessionBus() {
    const QString configuration = mDir.filePath(QStringLiteral("bus.conf"));
    QFile file(configuration);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QString::fromLatin1(kConfiguration).arg(mDir.path()).toUtf8()) < 0) {
        mProblem = QStringLiteral("cannot write %1").arg(configuration);
        return;
    }
    file.close();
    mDaemon.start(QStringLiteral("dbus-daemon"),
                  {QStringLiteral("--config-file=") + configuration,
                   QStringLiteral("--print-address"), QStringLiteral("--nofork")});
    QByteArray printed;
    while (!printed.contains('\n') && mDaemon.waitForReadyRead(30000)) {
        printed += mDaemon.readAllStandardOutput();
    }
    if (!printed.contains('\n')) {
        // Its standard error is kept for this: run as root it warns of a file limit it
        // cannot raise, which is of no matter to a test.
        mProblem =
            QStringLiteral("dbus-daemon did not start: %1 %2")
                .arg(mDaemon.errorString(), QString::fromLocal8Bit(mDaemon.readAllStandardError()));
        return;
    }
    mAddress = QString::fromUtf8(printed.left(printed.indexOf('\n')));
}

PrivateSessionBus::~PrivateSessionBus() {
    for (const QString &name : mConnections) {
        QDBusConnection::disconnectFromBus(name);
    }
    mDaemon.kill();
    mDaemon.waitForFinished();
}

QDBusConnection PrivateSessionBus::connect(const QString &name) {
    mConnections << name;
    return QDBusConnection::connectToBus(mAddress, name);
}
