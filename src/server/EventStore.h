#pragma once

#include "server/EventFinder.h"
#include "server/ReportStore.h"
#include "server/ServerViews.h"

#include <QSqlDatabase>

#include <optional>
#include <vector>

// The events table, kept current as reports arrive and go. A report that may belong to an event
// (one marked as an earthquake or sent by a trigger) recomputes the events of the span of time
// it can change (EventFinder::recomputeSpan), inside the transaction that stores or deletes it:
// the events change with the report or not at all. Only the candidates around the report's
// time are read, through an index on their time: a window that grows until the span lies
// inside it with a margin of T on each side. Several server processes on one PostgreSQL take turns
// through an advisory lock held to the end of the transaction, so each recomputes with every
// candidate committed before it; on SQLite the write lock of the transaction does the same.
// An event's time is the time of its earliest report: a trigger's start when it sent one, else
// when the server received the report.
class EventStore {
public:
    explicit EventStore(EventRule rule) : mFinder(rule) {}

    // For ReportStore's change hook; false when the database failed.
    bool update(QSqlDatabase &db, const StoredReport &report, ReportStore::Change change) const;
    // The newest events first, at most `limit`; none when the database failed.
    static std::optional<std::vector<EventView>> list(QSqlDatabase &db, int limit);

private:
    EventFinder mFinder;
};
