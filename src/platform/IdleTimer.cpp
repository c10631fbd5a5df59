#include "platform/IdleTimer.h"

#include "platform/SystemLog.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

namespace {
constexpr int kCallTimeoutMs = 2000;  // a desktop that does not answer must not stall start-up

QDBusMessage callScreenSaver(const QString &method, const QVariantList &arguments) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.ScreenSaver"),
                                       QStringLiteral("/org/freedesktop/ScreenSaver"),
                                       QStringLiteral("org.freedesktop.ScreenSaver"), method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, kCallTimeoutMs);
}
}  // namespace

IdleTimer &IdleTimer::shared() {
    static IdleTimer timer;
    return timer;
}

void IdleTimer::setIdleTimerDisabled(bool disabled) {
    if (disabled == isInhibited()) {
        return;
    }
    if (!QDBusConnection::sessionBus().isConnected()) {
        SystemLog::log(QStringLiteral("Screen saver inhibition unavailable: no session bus"));
        return;
    }
    if (disabled) {
        const QDBusReply<quint32> reply = callScreenSaver(
            QStringLiteral("Inhibit"), {QStringLiteral("shakelog"), QStringLiteral("Recording")});
        if (reply.isValid()) {
            mCookie = reply.value();
        } else {
            SystemLog::log(QStringLiteral("Screen saver inhibition unavailable: %1")
                               .arg(reply.error().message()));
        }
    } else {
        callScreenSaver(QStringLiteral("UnInhibit"), {mCookie});
        mCookie = 0;
    }
}
