#include "server/EventStore.h"
#include "server/Schema.h"
#include "server/TestServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

using Events = std::vector<std::pair<qint64, std::vector<qint64>>>;  // time (ms), members

// The events stored, as times and sorted members, by time.
Events storedEvents(QSqlDatabase &db) {
    auto listed = EventStore::list(db, 1000);
    EXPECT_TRUE(listed.has_value());
    Events events;
    for (EventView &event : listed.value_or(std::vector<EventView>())) {
        std::sort(event.reportIds.begin(), event.reportIds.end());
        events.emplace_back(event.time.toMSecsSinceEpoch(), event.reportIds);
    }
    std::sort(events.begin(), events.end());
    return events;
}

// What the rule forms from all the candidates at once.
Events formedAtOnce(const EventFinder &finder, const std::vector<CandidateReport> &candidates) {
    Events events;
    for (NetworkEvent &event : finder.find(candidates)) {
        std::sort(event.reportIds.begin(), event.reportIds.end());
        events.emplace_back(std::llround(event.time * 1000), event.reportIds);
    }
    std::sort(events.begin(), events.end());
    return events;
}

// Reports arriving in any order, and deleted in any order, leave the events that the rule
// forms from the candidates left, all at once. Among them a chain of reports 45 s apart over
// an hour: each arrival's span reaches far beyond the first window of candidates read.
TEST(EventStore_, KeepsTheEventsOfAllCandidatesAsReportsComeAndGo) {
    TestDatabase db;
    ASSERT_EQ(db.store->migrate(), std::nullopt);
    const EventRule rule{3, 60, 100};
    const EventStore events(rule);
    db.store->setChangeHook(
        [&](QSqlDatabase &c, const StoredReport &report, ReportStore::Change change) {
            return events.update(c, report, change);
        });

    struct Sent {
        ReportRecord record;
        QDateTime receivedAt;
    };
    std::mt19937 random(20261208);
    std::uniform_real_distribution<double> jitter(-0.3, 0.3);
    const qint64 base =
        QDateTime::fromString("2026-12-08T10:00:00.000Z", Qt::ISODateWithMs).toMSecsSinceEpoch();
    std::vector<Sent> sent;
    const auto add = [&](qint64 ms, double lat, bool triggered, bool earthquake) {
        Sent s;
        const int n = int(sent.size());
        s.record.deviceId = QStringLiteral("dev%1").arg(n % 7);
        s.record.lat = lat + jitter(random);
        s.record.lon = 8.5 + jitter(random);
        s.record.version = "1.0.0";
        s.record.localDateTime = QStringLiteral("2026-12-08 10:%1:%2")
                                     .arg(n / 60 % 60, 2, 10, QChar('0'))
                                     .arg(n % 60, 2, 10, QChar('0'));
        s.record.earthquake = earthquake;
        s.record.signal = "0,0,1\n";
        s.record.signalSha256 = QString::number(n);
        const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
        if (triggered) {
            s.record.trigger = "stalta";
            s.record.triggerStart = ReportStore::utcText(at);
            s.record.pga = 0.01 * (n % 5);
            s.receivedAt = at.addSecs(30);
        } else {
            s.receivedAt = at;
        }
        sent.push_back(s);
    };
    for (int i = 0; i < 80; ++i) {  // the chain
        add(base + i * 45'000, 47.0, i % 3 != 0, true);
    }
    std::uniform_int_distribution<qint64> anyTime(0, 3'600'000);
    for (int i = 0; i < 60; ++i) {  // scattered, some of them no candidates
        add(base + anyTime(random), i % 2 ? 47.0 : 48.5, i % 2 == 0, i % 3 != 0);
    }
    std::shuffle(sent.begin(), sent.end(), random);

    std::vector<CandidateReport> candidates;
    for (const Sent &s : sent) {
        ASSERT_EQ(db.store->insert(s.record, s.receivedAt), ReportStore::Outcome::Stored);
        if (s.record.earthquake || !s.record.trigger.isEmpty()) {
            const QString time = s.record.trigger.isEmpty() ? ReportStore::utcText(s.receivedAt)
                                                            : s.record.triggerStart;
            candidates.push_back(
                {qint64(candidates.size() + 1), s.record.deviceId,
                 double(QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch()) / 1000,
                 s.record.lat, s.record.lon, s.record.pga});
        }
    }
    // The store's ids follow the order of arrival; a candidate's id is its report's.
    QSqlDatabase c = db.database->connection();
    QSqlQuery ids(c);
    ASSERT_TRUE(
        ids.exec("SELECT id FROM reports WHERE isearthquake OR trigger_kind IS NOT NULL "
                 "ORDER BY id"));
    for (CandidateReport &candidate : candidates) {
        ASSERT_TRUE(ids.next());
        candidate.id = ids.value(0).toLongLong();
    }
    ids.finish();

    const EventFinder finder(rule);
    const Events whole = formedAtOnce(finder, candidates);
    ASSERT_GE(whole.size(), 5U);
    EXPECT_EQ(storedEvents(c), whole);

    std::shuffle(candidates.begin(), candidates.end(), random);
    for (int i = 0; i < 40; ++i) {
        ASSERT_EQ(db.store->remove(candidates.back().id), std::optional(true));
        candidates.pop_back();
    }
    EXPECT_EQ(storedEvents(c), formedAtOnce(finder, candidates));
}

}  // namespace
