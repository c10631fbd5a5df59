// The window's side of event detection: the desktop notification at each event's end, the
// list of past events, and the "EVENT" label in the top bar.
#include "app/AppDelegate.h"
#include "app/DetectionControl.h"
#include "app/EventDisplay.h"
#include "app/EventListDialog.h"
#include "core/DateText.h"
#include "detection/EventLog.h"
#include "platform/DesktopNotification.h"
#include "support/EventLoop.h"
#include "support/NotificationService.h"
#include "support/PrivateSessionBus.h"
#include "support/TempConfig.h"
#include "ui/GraphView.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QTableWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr double kEpoch = 1796725305.0;  // 2026-12-08T10:21:45Z

Event event(double start, double duration, double pga) {
    Event event;
    event.start = start;
    event.end = start + duration;
    event.pga = pga;
    return event;
}

QStringList row(const QTableWidget *table, int row) {
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column) {
        texts << table->item(row, column)->text();
    }
    return texts;
}

TEST(EventDisplay, EachEventsEndIsNotifiedOnTheDesktop) {
    PrivateSessionBus bus;
    ASSERT_FALSE(bus.address().isEmpty()) << bus.problem().toStdString();
    NotificationService service;
    ASSERT_TRUE(service.registerOn(bus.connect(QStringLiteral("service"))));
    TempConfig config;
    AppDelegate delegate(nullptr, false);
    delegate.events->setNotification(
        std::make_unique<DesktopNotification>(bus.connect(QStringLiteral("window"))));

    emit delegate.detection->eventStarted(event(kEpoch, 0, 0));
    emit delegate.detection->eventEnded(event(kEpoch, 4.2, 0.0123));
    emit delegate.detection->eventEnded(event(kEpoch + 100, 61.04, 0.2496));
    pumpUntil([&] { return service.calls.size() == 2; });
    ASSERT_EQ(service.calls.size(), 2);
    EXPECT_EQ(service.calls[0].summary, "Shakelog");
    EXPECT_EQ(service.calls[0].body, "Shaking detected: PGA 0.012 g, intensity III, 4.2 s");
    EXPECT_EQ(service.calls[1].body, "Shaking detected: PGA 0.250 g, intensity VII, 61.0 s");
}

TEST(EventDisplay, TheListShowsTheLogNewestFirstAndFollowsIt) {
    TempConfig config;
    QTemporaryDir dir;
    AppDelegate delegate(nullptr, false);
    const EventLog log(dir.filePath("events.jsonl"));
    delegate.detection->setEventLog(log);
    QAction *action = delegate.events->listAction();
    EXPECT_TRUE(delegate.graphView->actions().contains(action));  // the traces' context menu
    EXPECT_TRUE(delegate.window->actions().contains(action));
    EXPECT_EQ(action->shortcut(), QKeySequence("Ctrl+E"));

    action->trigger();
    EventListDialog *dialog = delegate.events->listDialog();
    ASSERT_TRUE(dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(dialog->isModal());
    EXPECT_TRUE(dialog->isWindow());  // beside the main window, not in its layout
    auto *table = dialog->findChild<QTableWidget *>();
    const QLabel *empty = dialog->findChild<QLabel *>();
    ASSERT_TRUE(table && empty);
    EXPECT_TRUE(empty->isVisible());
    EXPECT_EQ(empty->text(), "No events yet");
    EXPECT_FALSE(table->isVisible());

    // An event that ends while the list is open appears at the top.
    QString error;
    const Event first = event(kEpoch, 4.2, 0.0123);
    const Event second = event(kEpoch + 3600, 12.26, 0.0801);
    ASSERT_TRUE(log.append(first, &error)) << error.toStdString();
    ASSERT_TRUE(log.append(second, &error)) << error.toStdString();
    emit delegate.detection->eventEnded(second);
    EXPECT_FALSE(empty->isVisible());
    ASSERT_TRUE(table->isVisible());
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(row(table, 0),
              QStringList({DateText::defaultText(second.start), "12.3 s", "0.080 g", "V"}));
    EXPECT_EQ(row(table, 1),
              QStringList({DateText::defaultText(first.start), "4.2 s", "0.012 g", "III"}));

    // Closed, it does not follow; opened again, it reads the log afresh.
    dialog->close();
    ASSERT_TRUE(log.append(event(kEpoch + 7200, 1, 0.001), &error)) << error.toStdString();
    action->trigger();
    EXPECT_EQ(delegate.events->listDialog(), dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(table->rowCount(), 3);
    EXPECT_EQ(table->item(0, 0)->text(), DateText::defaultText(kEpoch + 7200));
}

TEST(EventDisplay, TheEventLabelTakesNoRoomFromTheWindowOrTheOtherLabels) {
    // At 320 pixels the bar has room for "EVENT" beside "REC"; beside "REC ERROR" at a high
    // rate it has not, and "EVENT" is the one cut.
    struct Bar {
        const char *rate;
        const char *recording;
        bool eventWhole;
    };
    for (const Bar &bar : {Bar{"100hz", "REC", true}, Bar{"1000hz", "REC ERROR", false}}) {
        SCOPED_TRACE(bar.recording);
        TempConfig config;
        AppDelegate delegate(nullptr, false);
        QMainWindow *window = delegate.window;
        window->show();
        const QSize size = window->size();
        EXPECT_EQ(size, QSize(320, 460));
        auto *rate = window->findChild<QLabel *>("mSamplingRate");
        auto *recording = window->findChild<QLabel *>("mLabelRecording");
        auto *eventLabel = window->findChild<QLabel *>("mLabelEvent");
        ASSERT_TRUE(rate && recording && eventLabel);
        rate->setText(bar.rate);
        recording->setText(bar.recording);
        recording->show();
        emit delegate.detection->eventStarted(event(kEpoch, 0, 0));
        pumpUntil([&] { return eventLabel->isVisible() && eventLabel->width() > 0; });

        EXPECT_EQ(window->size(), size);
        const QList<QLabel *> labels = {rate, delegate.mLabelAlarm, delegate.mLabelNetwork,
                                        recording, eventLabel};
        for (int i = 0; i < labels.size(); ++i) {
            const QLabel *label = labels[i];
            SCOPED_TRACE(label->text().toStdString());
            if (label != eventLabel || bar.eventWhole) {
                EXPECT_GE(label->width(), label->sizeHint().width());
            }
            EXPECT_TRUE(delegate.graphView->rect().contains(label->geometry()));
            if (i > 0) {
                EXPECT_LT(labels[i - 1]->geometry().right(), label->geometry().left());
            }
        }
    }
}

}  // namespace
