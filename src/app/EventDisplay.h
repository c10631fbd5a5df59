#pragma once

#include "detection/Event.h"

#include <QObject>
#include <QPointer>

#include <memory>

class DesktopNotification;
class DetectionControl;
class EventListDialog;
class QAction;
class QLabel;
class QWidget;

// The window's side of event detection: the "EVENT" label beside "REC" from an event's start
// to its end (a cut-short end included), a desktop notification at each end, and the list of
// past events from the event log, opened by an action of the traces' context menu. Main thread.
class EventDisplay : public QObject {
    Q_OBJECT
public:
    // `label` and `window` (the list's parent) are the main window's; `detection` tells the
    // events. None of them is owned.
    EventDisplay(DetectionControl *detection, QLabel *label, QWidget *window,
                 QObject *parent = nullptr);
    ~EventDisplay() override;

    // Where the ends of events are told; none (the default) tells nobody, as in a headless run.
    void setNotification(std::unique_ptr<DesktopNotification> notification);

    // "Past events…", Ctrl+E; for the traces' context menu.
    QAction *listAction() const { return mListAction; }
    // Opens the list, read from the event log afresh, or brings it forward.
    void showList();
    // The list once opened, else none.
    EventListDialog *listDialog() const;

private:
    void eventStarted(const Event &event);
    void eventEnded(const Event &event);

    const DetectionControl *mDetection;
    QLabel *mLabel;
    QWidget *mWindow;
    QAction *mListAction;
    std::unique_ptr<DesktopNotification> mNotification;
    QPointer<EventListDialog> mListDialog;  // a child of the window
};
