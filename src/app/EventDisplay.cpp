#include "app/EventDisplay.h"

#include "app/DetectionControl.h"
#include "app/EventListDialog.h"
#include "app/EventTexts.h"
#include "core/DateText.h"
#include "platform/DesktopNotification.h"

#include <QAction>
#include <QLabel>

EventDisplay::EventDisplay(DetectionControl *detection, QLabel *label, QWidget *window,
                           QObject *parent)
    : QObject(parent),
      mDetection(detection),
      mLabel(label),
      mWindow(window),
      mListAction(new QAction(QStringLiteral("Past events…"), this)) {
    mListAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(mListAction, &QAction::triggered, this, &EventDisplay::showList);
    connect(detection, &DetectionControl::eventStarted, this, &EventDisplay::eventStarted);
    connect(detection, &DetectionControl::eventEnded, this, &EventDisplay::eventEnded);
    mLabel->setText(QStringLiteral("EVENT"));
    mLabel->hide();
}

EventDisplay::~EventDisplay() = default;

void EventDisplay::setNotification(std::unique_ptr<DesktopNotification> notification) {
    mNotification = std::move(notification);
}

EventListDialog *EventDisplay::listDialog() const { return mListDialog; }

void EventDisplay::showList() {
    if (!mListDialog) {
        mListDialog = new EventListDialog(mWindow);
    }
    mListDialog->setEvents(mDetection->eventLog().read());
    mListDialog->show();
    mListDialog->raise();
    mListDialog->activateWindow();
}

void EventDisplay::eventStarted(const Event &event) {
    mLabel->setToolTip(
        QStringLiteral("Shaking detected since %1").arg(DateText::clockTime(event.start)));
    mLabel->show();
}

void EventDisplay::eventEnded(const Event &event) {
    mLabel->hide();
    if (mNotification) {
        // Summary and body: desktops show the summary on one line, often cut, and wrap the body.
        mNotification->show(QStringLiteral("Shakelog"), EventTexts::shakingDetected(event));
    }
    if (mListDialog && mListDialog->isVisible()) {
        mListDialog->setEvents(mDetection->eventLog().read());
    }
}
