#pragma once

#include "detection/Event.h"

#include <QDialog>

#include <vector>

class QLabel;
class QTableWidget;

// The past events, newest first: the start's local date and time, the duration, PGA and the
// intensity; "No events yet" when there are none. A window of its own beside the main one, so
// that the main screen keeps its layout; not modal. Main thread.
class EventListDialog : public QDialog {
    Q_OBJECT
public:
    explicit EventListDialog(QWidget *parent = nullptr);

    // `events` oldest first, as the event log holds them.
    void setEvents(const std::vector<Event> &events);

private:
    QTableWidget *mTable;
    QLabel *mEmptyNote;  // shown instead of the table while there are no events
};
