#pragma once

#include "server/Database.h"
#include "server/ReportSubmission.h"

#include <QDateTime>
#include <QJsonObject>
#include <QSqlDatabase>

#include <functional>
#include <optional>
#include <vector>

// A report as stored: what the device sent, the key and the time it arrived.
struct StoredReport {
    qint64 id = 0;
    ReportRecord record;
    QString receivedAt;  // UTC, "2026-12-08T10:21:45.120Z"

    QJsonObject toJson() const;  // without the signal
};

// Which reports a listing shows, newest first.
struct ReportFilter {
    QString since, until;  // UTC texts as receivedAt; empty: no bound
    QString device;
    std::optional<bool> earthquake;
    int limit = 100;
    int offset = 0;
};

// The reports in the database. Any thread; each uses its own connection (see Database).
class ReportStore {
public:
    enum class Outcome { Stored, Duplicate, Failed };

    // Called inside the transaction that stores a new report (not for a duplicate) or deletes
    // one, so that what is derived from the reports (the events) changes with them or not at
    // all. Returning false rolls the change back.
    enum class Change { Stored, Removed };
    using ChangeHook =
        std::function<bool(QSqlDatabase &db, const StoredReport &report, Change change)>;

    explicit ReportStore(Database &database) : mDatabase(database) {}

    void setChangeHook(ChangeHook hook) { mChangeHook = std::move(hook); }
    Database &database() { return mDatabase; }

    // Brings the schema up to date; the error, if any.
    std::optional<QString> migrate();

    // Stores the report once: one sent again (same device, date and signal) is a Duplicate.
    Outcome insert(const ReportRecord &record, const QDateTime &receivedAt);
    std::optional<std::vector<StoredReport>> list(const ReportFilter &filter);
    // nullopt: no such report; Failed is told by `failed`.
    std::optional<StoredReport> find(qint64 id, bool *failed = nullptr);
    // Whether there was such a report; nullopt when the database failed.
    std::optional<bool> remove(qint64 id);
    bool healthy();

    // The last database error, for the log.
    QString lastError() const;

    static QString utcText(const QDateTime &time);

private:
    Database &mDatabase;
    ChangeHook mChangeHook;
    static thread_local QString tLastError;
};
