#include "server/EventStore.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

// Any number of our own, the same in every server process.
constexpr qint64 kEventLock = 0x5348414b45;  // "SHAKE"

// The times a report can carry, years 1 to 9999: the stored texts compare as times only there.
constexpr double kEarliestTime = -62135596800.0;  // 0001-01-01T00:00:00.000Z
constexpr double kLatestTime = 253402300799.999;  // 9999-12-31T23:59:59.999Z

double secondsOf(const QString &utc) {
    return double(QDateTime::fromString(utc, Qt::ISODateWithMs).toMSecsSinceEpoch()) / 1000.0;
}

QString utcOf(double seconds) {
    return ReportStore::utcText(
        QDateTime::fromMSecsSinceEpoch(qint64(std::llround(seconds * 1000.0)), Qt::UTC));
}

bool isCandidate(const ReportRecord &record) {
    return record.earthquake || !record.trigger.isEmpty();
}

// A candidate's time as stored: a trigger's start when it sent one, else when it was received.
// Both are UTC texts of one form, so they compare as times; the index reports_by_event_time
// is on this very expression.
const QString kCandidateTime = QStringLiteral("COALESCE(trigger_start, received_at)");

// The candidate reports whose time lies in [from, to], by (time, id).
std::optional<std::vector<CandidateReport>> candidatesBetween(QSqlDatabase &db, double from,
                                                              double to) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT id, device_id, lat, lon, pga, ") + kCandidateTime +
                  QStringLiteral(" FROM reports WHERE (isearthquake OR trigger_kind IS NOT NULL)"
                                 " AND ") +
                  kCandidateTime + QStringLiteral(" BETWEEN ? AND ?"));
    query.addBindValue(utcOf(from));
    query.addBindValue(utcOf(to));
    if (!query.exec()) {
        return std::nullopt;
    }
    std::vector<CandidateReport> found;
    while (query.next()) {
        CandidateReport candidate;
        candidate.id = query.value(0).toLongLong();
        candidate.device = query.value(1).toString();
        candidate.lat = query.value(2).toDouble();
        candidate.lon = query.value(3).toDouble();
        if (!query.value(4).isNull()) {
            candidate.pga = query.value(4).toDouble();
        }
        candidate.time = secondsOf(query.value(5).toString());
        found.push_back(candidate);
    }
    std::sort(found.begin(), found.end(), [](const CandidateReport &a, const CandidateReport &b) {
        return a.time != b.time ? a.time < b.time : a.id < b.id;
    });
    return found;
}

bool insertEvent(QSqlDatabase &db, const NetworkEvent &event, double lastTime) {
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "INSERT INTO events (start_at, end_at, lat, lon, devices, max_pga, updated_at) "
        "VALUES (?, ?, ?, ?, ?, ?, ?) RETURNING id"));
    for (const QVariant &value :
         {QVariant(utcOf(event.time)), QVariant(utcOf(lastTime)), QVariant(event.lat),
          QVariant(event.lon), QVariant(event.devices),
          event.largestPga ? QVariant(*event.largestPga) : QVariant(),
          QVariant(ReportStore::utcText(QDateTime::currentDateTimeUtc()))}) {
        query.addBindValue(value);
    }
    if (!query.exec() || !query.next()) {
        return false;
    }
    const qint64 id = query.value(0).toLongLong();
    QSqlQuery member(db);
    member.prepare(QStringLiteral("INSERT INTO event_reports (event_id, report_id) VALUES (?, ?)"));
    for (const qint64 report : event.reportIds) {
        member.addBindValue(id);
        member.addBindValue(report);
        if (!member.exec()) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool EventStore::update(QSqlDatabase &db, const StoredReport &report,
                        ReportStore::Change change) const {
    if (!isCandidate(report.record)) {
        return true;
    }
    if (db.driverName() == QLatin1String("QPSQL")) {
        QSqlQuery lock(db);
        lock.prepare(QStringLiteral("SELECT pg_advisory_xact_lock(?)"));
        lock.addBindValue(kEventLock);
        if (!lock.exec()) {
            return false;
        }
    }
    const double time = secondsOf(
        report.record.triggerStart.isEmpty() ? report.receivedAt : report.record.triggerStart);
    // The span is exact once the candidates read reach beyond it by more than T on each side
    // (a second more against rounding), or to the end of the times a report can carry: nothing
    // outside can then continue its run.
    const double t = mFinder.rule().seconds;
    double before = 4 * t + 60, after = before;
    std::vector<CandidateReport> read;
    TimeSpan span;
    for (;;) {
        const double from = std::max(time - before, kEarliestTime);
        const double to = std::min(time + after, kLatestTime);
        auto found = candidatesBetween(db, from, to);
        if (!found) {
            return false;
        }
        read = std::move(*found);
        std::vector<double> times;
        for (const CandidateReport &candidate : read) {
            times.push_back(candidate.time);
        }
        // A deleted report is gone from the table, yet the runs it joined may fall apart: the
        // span is that of the candidates with it (its time is among them or not, as it likes).
        span = mFinder.recomputeSpan(time, times);
        const bool earlierKnown = from == kEarliestTime || span.first - t - 1 > from;
        const bool laterKnown = to == kLatestTime || span.last + t + 1 < to;
        if (earlierKnown && laterKnown) {
            break;
        }
        before = earlierKnown ? before : 2 * (time - span.first + t + 1);
        after = laterKnown ? after : 2 * (span.last - time + t + 1);
    }
    std::vector<CandidateReport> inSpan;
    std::map<qint64, double> timeOf;
    for (const CandidateReport &candidate : read) {
        if (span.contains(candidate.time)) {
            inSpan.push_back(candidate);
            timeOf[candidate.id] = candidate.time;
        }
    }
    if (change == ReportStore::Change::Stored &&
        std::none_of(inSpan.begin(), inSpan.end(),
                     [&](const CandidateReport &c) { return c.id == report.id; })) {
        return false;  // the report just stored must be among the candidates
    }
    // Events are stored by the time of their earliest report, which lies in the span exactly
    // when the event does; their members go with them (ON DELETE CASCADE needs SQLite's
    // foreign keys on, so they are deleted here too).
    QSqlQuery drop(db);
    drop.prepare(
        QStringLiteral("DELETE FROM event_reports WHERE event_id IN "
                       "(SELECT id FROM events WHERE start_at >= ? AND start_at <= ?)"));
    drop.addBindValue(utcOf(span.first));
    drop.addBindValue(utcOf(span.last));
    QSqlQuery dropEvents(db);
    dropEvents.prepare(QStringLiteral("DELETE FROM events WHERE start_at >= ? AND start_at <= ?"));
    dropEvents.addBindValue(utcOf(span.first));
    dropEvents.addBindValue(utcOf(span.last));
    if (!drop.exec() || !dropEvents.exec()) {
        return false;
    }
    for (const NetworkEvent &event : mFinder.find(inSpan)) {
        double last = event.time;
        for (const qint64 id : event.reportIds) {
            last = std::max(last, timeOf[id]);
        }
        if (!insertEvent(db, event, last)) {
            return false;
        }
    }
    return true;
}

std::optional<std::vector<EventView>> EventStore::list(QSqlDatabase &db, int limit) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT id, start_at, lat, lon, devices, max_pga FROM events "
                       "ORDER BY start_at DESC, id DESC LIMIT ?"));
    query.addBindValue(limit);
    if (!query.exec()) {
        return std::nullopt;
    }
    std::vector<EventView> events;
    while (query.next()) {
        EventView event;
        event.id = query.value(0).toLongLong();
        event.time = QDateTime::fromString(query.value(1).toString(), Qt::ISODateWithMs);
        event.lat = query.value(2).toDouble();
        event.lon = query.value(3).toDouble();
        event.devices = query.value(4).toInt();
        if (!query.value(5).isNull()) {
            event.largestPga = query.value(5).toDouble();
        }
        events.push_back(event);
    }
    QSqlQuery members(db);
    members.prepare(QStringLiteral(
        "SELECT report_id FROM event_reports WHERE event_id = ? ORDER BY report_id"));
    for (EventView &event : events) {
        members.addBindValue(event.id);
        if (!members.exec()) {
            return std::nullopt;
        }
        while (members.next()) {
            event.reportIds.push_back(members.value(0).toLongLong());
        }
    }
    return events;
}
