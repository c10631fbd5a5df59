#include "server/ReportStore.h"

#include "server/Schema.h"

#include <QJsonValue>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimeZone>

thread_local QString ReportStore::tLastError;

namespace {

const QString kColumns = QStringLiteral(
    "id, device_id, lat, lon, alt, sampling, version, local_datetime, isearthquake, "
    "trigger_kind, trigger_start, pga, received_at, signal_sha256, signal, samples");

StoredReport reportAt(const QSqlQuery &query) {
    StoredReport report;
    report.id = query.value(0).toLongLong();
    ReportRecord &r = report.record;
    r.deviceId = query.value(1).toString();
    r.lat = query.value(2).toDouble();
    r.lon = query.value(3).toDouble();
    r.alt = query.value(4).toDouble();
    r.sampling = query.value(5).toInt();
    r.version = query.value(6).toString();
    r.localDateTime = query.value(7).toString();
    r.earthquake = query.value(8).toBool();
    r.trigger = query.value(9).toString();
    r.triggerStart = query.value(10).toString();
    if (!query.value(11).isNull()) {
        r.pga = query.value(11).toDouble();
    }
    report.receivedAt = query.value(12).toString();
    r.signalSha256 = query.value(13).toString();
    r.signal = query.value(14).toString().toLatin1();
    r.samples = query.value(15).toInt();
    return report;
}

// A text column bound as NULL when empty: a report without a trigger has no trigger fields.
QVariant orNull(const QString &text) { return text.isEmpty() ? QVariant() : QVariant(text); }

// A text bound as '' when empty: a null QString would be bound as NULL, which equals nothing.
QVariant orEmpty(const QString &text) {
    return text.isNull() ? QVariant(QStringLiteral("")) : QVariant(text);
}

}  // namespace

QJsonObject StoredReport::toJson() const {
    QJsonObject trigger;
    if (!record.trigger.isEmpty()) {
        trigger = {{"kind", record.trigger},
                   {"start", record.triggerStart},
                   {"pga", record.pga.value_or(0)}};
    }
    return {{"id", id},
            {"device_id", record.deviceId},
            {"lat", record.lat},
            {"lon", record.lon},
            {"alt", record.alt},
            {"sampling", record.sampling},
            {"version", record.version},
            {"local_datetime", record.localDateTime},
            {"isearthquake", record.earthquake},
            {"trigger", record.trigger.isEmpty() ? QJsonValue() : QJsonValue(trigger)},
            {"received_at", receivedAt},
            {"signal_sha256", record.signalSha256},
            {"samples", record.samples}};
}

QString ReportStore::utcText(const QDateTime &time) {
    return time.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

QString ReportStore::lastError() const { return tLastError; }

std::optional<QString> ReportStore::migrate() {
    QSqlDatabase db = mDatabase.connection();
    if (!db.isOpen()) {
        return db.lastError().text();
    }
    return Schema::migrate(db, Schema::migrations());
}

ReportStore::Outcome ReportStore::insert(const ReportRecord &record, const QDateTime &receivedAt) {
    QSqlDatabase db = mDatabase.connection();
    if (!db.isOpen()) {
        tLastError = db.lastError().text();
        return Outcome::Failed;
    }
    Transaction transaction(db);
    if (!transaction.begun()) {
        tLastError = db.lastError().text();
        return Outcome::Failed;
    }
    StoredReport stored{0, record, utcText(receivedAt)};
    {
        // The UNIQUE constraint decides, not a look beforehand: two copies arriving at once on
        // two connections still make one row. Both databases skip the conflicting row and
        // return no key for it.
        QSqlQuery query(db);
        query.prepare(QStringLiteral(
            "INSERT INTO reports (device_id, lat, lon, alt, sampling, version, local_datetime, "
            "isearthquake, trigger_kind, trigger_start, pga, received_at, signal_sha256, "
            "signal, samples) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
            "ON CONFLICT (device_id, local_datetime, signal_sha256) DO NOTHING RETURNING id"));
        for (const QVariant &value :
             {QVariant(record.deviceId), QVariant(record.lat), QVariant(record.lon),
              QVariant(record.alt), QVariant(record.sampling), QVariant(record.version),
              QVariant(record.localDateTime), QVariant(record.earthquake), orNull(record.trigger),
              orNull(record.triggerStart), record.pga ? QVariant(*record.pga) : QVariant(),
              QVariant(stored.receivedAt), QVariant(record.signalSha256),
              QVariant(QString::fromLatin1(record.signal)), QVariant(record.samples)}) {
            query.addBindValue(value);
        }
        if (!query.exec()) {
            tLastError = query.lastError().text();
            return Outcome::Failed;
        }
        if (!query.next()) {
            return Outcome::Duplicate;  // the rollback ends a transaction that changed nothing
        }
        stored.id = query.value(0).toLongLong();
    }
    if (mChangeHook && !mChangeHook(db, stored, Change::Stored)) {
        tLastError = QStringLiteral("the events could not be updated");
        return Outcome::Failed;
    }
    if (!transaction.commit()) {
        tLastError = db.lastError().text();
        return Outcome::Failed;
    }
    return Outcome::Stored;
}

std::optional<std::vector<StoredReport>> ReportStore::list(const ReportFilter &filter) {
    QSqlDatabase db = mDatabase.connection();
    if (!db.isOpen()) {
        tLastError = db.lastError().text();
        return std::nullopt;
    }
    // Every condition is always there, switched off by its own bound value: one statement
    // text whatever the filter, and no value ever written into it.
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT ") + kColumns +
                  QStringLiteral(" FROM reports"
                                 " WHERE (? = '' OR received_at >= ?)"
                                 " AND (? = '' OR received_at < ?)"
                                 " AND (? = '' OR device_id = ?)"
                                 " AND (? < 0 OR isearthquake = ?)"
                                 " ORDER BY received_at DESC, id DESC LIMIT ? OFFSET ?"));
    const int earthquake = filter.earthquake ? int(*filter.earthquake) : -1;
    for (const QVariant &value :
         {orEmpty(filter.since), orEmpty(filter.since), orEmpty(filter.until),
          orEmpty(filter.until), orEmpty(filter.device), orEmpty(filter.device),
          QVariant(earthquake), QVariant(filter.earthquake.value_or(false)), QVariant(filter.limit),
          QVariant(filter.offset)}) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        tLastError = query.lastError().text();
        return std::nullopt;
    }
    std::vector<StoredReport> reports;
    while (query.next()) {
        reports.push_back(reportAt(query));
    }
    return reports;
}

std::optional<StoredReport> ReportStore::find(qint64 id, bool *failedToRead) {
    if (failedToRead) {
        *failedToRead = false;
    }
    QSqlDatabase db = mDatabase.connection();
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT ") + kColumns +
                  QStringLiteral(" FROM reports WHERE id = ?"));
    query.addBindValue(id);
    if (!db.isOpen() || !query.exec()) {
        tLastError = db.isOpen() ? query.lastError().text() : db.lastError().text();
        if (failedToRead) {
            *failedToRead = true;
        }
        return std::nullopt;
    }
    if (!query.next()) {
        return std::nullopt;
    }
    return reportAt(query);
}

std::optional<bool> ReportStore::remove(qint64 id) {
    QSqlDatabase db = mDatabase.connection();
    if (!db.isOpen()) {
        tLastError = db.lastError().text();
        return std::nullopt;
    }
    Transaction transaction(db);
    if (!transaction.begun()) {
        tLastError = db.lastError().text();
        return std::nullopt;
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral("DELETE FROM reports WHERE id = ? RETURNING ") + kColumns);
    query.addBindValue(id);
    if (!query.exec()) {
        tLastError = query.lastError().text();
        return std::nullopt;
    }
    if (!query.next()) {
        return false;
    }
    const StoredReport removed = reportAt(query);
    query.finish();
    if (mChangeHook && !mChangeHook(db, removed, Change::Removed)) {
        tLastError = QStringLiteral("the events could not be updated");
        return std::nullopt;
    }
    if (!transaction.commit()) {
        tLastError = db.lastError().text();
        return std::nullopt;
    }
    return true;
}

bool ReportStore::healthy() {
    QSqlDatabase db = mDatabase.connection();
    QSqlQuery query(db);
    if (!db.isOpen() || !query.exec(QStringLiteral("SELECT 1 FROM schema_version")) ||
        !query.next()) {
        tLastError = db.isOpen() ? query.lastError().text() : db.lastError().text();
        return false;
    }
    return true;
}
