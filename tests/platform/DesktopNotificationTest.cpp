// Desktop notifications over D-Bus, on a private bus the test starts: what the notification
// service receives, and a desktop without a bus or without a service.
#include "platform/DesktopNotification.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"
#include "support/NotificationService.h"
#include "support/PrivateSessionBus.h"
#include "support/ScopedEnvironment.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(DesktopNotification, AServiceThatStartsLateGetsLaterNotificationsAfterOneLogLine) {
    PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << bus.problem().toStdString();
    LogCapture log;
    DesktopNotification notification(bus.connect(QStringLiteral("client")));

    notification.show(QStringLiteral("first"), QStringLiteral("nobody listens"));
    notification.show(QStringLiteral("second"), QStringLiteral("nobody listens"));
    pumpUntil([&] { return !log.lines().isEmpty(); });
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].startsWith("Desktop notifications unavailable: "))
        << log.lines()[0].toStdString();

    NotificationService service;
    ASSERT_TRUE(service.registerOn(bus.connect(QStringLiteral("service"))));
    notification.show(QStringLiteral("Shakelog"), QStringLiteral("the body"));
    pumpUntil([&] { return !service.calls.isEmpty(); });
    ASSERT_EQ(service.calls.size(), 1);
    const NotificationService::Call &call = service.calls[0];
    EXPECT_EQ(call.appName, QGuiApplication::applicationDisplayName());
    EXPECT_EQ(call.replacesId, 0u);  // a notification of its own, not replacing an earlier one
    EXPECT_EQ(call.summary, "Shakelog");
    EXPECT_EQ(call.body, "the body");
    EXPECT_TRUE(call.actions.isEmpty());
    EXPECT_EQ(call.expireTimeout, -1);  // the desktop's own default
    EXPECT_EQ(log.lines().size(), 1);
}

TEST(DesktopNotification, WithoutASessionBusNothingWaitsAndOneLineSaysSo) {
    QTemporaryDir dir;
    const ScopedEnvironment address("DBUS_SESSION_BUS_ADDRESS",
                                    "unix:path=" + dir.filePath("missing").toUtf8());
    LogCapture log;
    QElapsedTimer timer;
    timer.start();
    DesktopNotification notification;
    notification.show(QStringLiteral("Shakelog"), QStringLiteral("one"));
    notification.show(QStringLiteral("Shakelog"), QStringLiteral("two"));
    pumpUntil([&] { return !log.lines().isEmpty(); });
    // A call waiting for an answer would take D-Bus's 25 s time-out.
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(log.lines(), QStringList{"Desktop notifications unavailable: no session bus"});
}

}  // namespace
