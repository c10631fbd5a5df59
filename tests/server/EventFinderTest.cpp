// Events formed from candidate reports: the thresholds' edges, the centroid, order
// independence and the incremental recomputation of a span.
#include "server/EventFinder.h"

#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>

#include <gtest/gtest.h>

namespace {

// 2026-12-08T10:21:45.120Z: a fraction that binary cannot hold, as real report times.
constexpr double kStart = 1796725305.12;
// Where a point placed D along the meridian measures back a nanometre over D: the rule's case.
constexpr double kLat = 35.14, kLon = 139.0;

struct Place {
    double lat = kLat, lon = kLon;
};

// `metres` along the meridian from (kLat, kLon): north when positive, south when negative.
Place alongMeridian(double metres) {
    Place place;
    GeographicLib::Geodesic::WGS84().Direct(kLat, kLon, 0, metres, place.lat, place.lon);
    return place;
}

CandidateReport report(qint64 id, const char *device, double seconds, Place place = {},
                       std::optional<double> pga = {}) {
    return {id, QString::fromLatin1(device), kStart + seconds, place.lat, place.lon, pga};
}

std::vector<std::vector<qint64>> memberIds(const std::vector<NetworkEvent> &events) {
    std::vector<std::vector<qint64>> ids;
    for (const NetworkEvent &event : events) {
        ids.push_back(event.reportIds);
    }
    return ids;
}

TEST(EventFinder, ThresholdEdges) {
    const Place north100km = alongMeridian(100e3);
    const Place beyond100km = alongMeridian(100e3 + 0.01);
    const Place north60km = alongMeridian(60e3);
    const struct {
        const char *name;
        std::vector<CandidateReport> reports;
        std::vector<std::vector<qint64>> events;
        EventRule rule = {};
    } cases[] = {
        {"three devices", {report(1, "a", 0), report(2, "b", 1), report(3, "c", 2)}, {{1, 2, 3}}},
        {"two devices", {report(1, "a", 0), report(2, "b", 1)}, {}},
        {"one device twice counts once",
         {report(1, "a", 0), report(2, "a", 1), report(3, "b", 2)},
         {}},
        {"a device's second report is a member too",
         {report(1, "a", 0), report(2, "a", 1), report(3, "b", 2), report(4, "c", 3)},
         {{1, 2, 3, 4}}},
        {"T exactly", {report(1, "a", 0), report(2, "b", 30), report(3, "c", 60)}, {{1, 2, 3}}},
        {"T and a millisecond",
         {report(1, "a", 0), report(2, "b", 30), report(3, "c", 60.001)},
         {}},
        // 12.7 s after 10:21:45.120 is 12.700000048 s after it in binary.
        {"T exactly, a T that binary cannot hold",
         {report(1, "a", 0), report(2, "b", 5), report(3, "c", 12.7)},
         {{1, 2, 3}},
         {3, 12.7, 100}},
        // Seeded by the last to arrive, 5, the event would be 1, 3, 4, 5.
        {"equal times: the lower id seeds",
         {report(5, "e", 0), report(4, "d", 0, north60km), report(3, "c", 0, north60km),
          report(2, "b", 0, alongMeridian(-60e3)), report(1, "a", 0)},
         {{1, 2, 5}}},
        {"D exactly, along a meridian",
         {report(1, "a", 0), report(2, "b", 1), report(3, "c", 2, north100km)},
         {{1, 2, 3}}},
        {"D and a centimetre",
         {report(1, "a", 0), report(2, "b", 1), report(3, "c", 2, beyond100km)},
         {}},
        // Within D of the seed but not of a member before it: left out, and free to seed.
        {"within D of every member, not only the seed",
         {report(1, "a", 0), report(2, "b", 1, north60km), report(3, "c", 2, alongMeridian(-60e3)),
          report(4, "d", 3, alongMeridian(30e3))},
         {{1, 2, 4}}},
        // A seed without enough devices is set aside, and only the seed: its group's other
        // members are free to meet the reports beyond its reach.
        {"only the seed is set aside",
         {report(1, "a", 0, alongMeridian(-60e3)), report(2, "b", 1), report(3, "c", 2, north60km),
          report(4, "d", 3, north60km)},
         {{2, 3, 4}}},
        {"two events in a row",
         {report(1, "a", 0), report(2, "b", 1), report(3, "c", 2), report(4, "a", 61),
          report(5, "b", 62), report(6, "c", 63)},
         {{1, 2, 3}, {4, 5, 6}}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(memberIds(EventFinder(c.rule).find(c.reports)), c.events) << c.name;
    }
}

TEST(EventFinder, AnEventsTimeCentroidDevicesAndLargestPga) {
    const EventFinder finder;
    // Across the antimeridian: averaging degrees would put the centroid near longitude 60.
    const std::vector<NetworkEvent> events = finder.find({
        report(1, "a", 5, {0.0, 179.9}),
        report(2, "b", 9, {0.1, -179.9}, 0.02),
        report(3, "c", 7, {-0.1, 179.9}, 0.005),
        report(4, "a", 8, {0.0, 179.9}),
    });
    ASSERT_EQ(events.size(), 1u);
    const NetworkEvent &event = events[0];
    EXPECT_EQ(event.time, kStart + 5);
    EXPECT_EQ(event.devices, 3);
    EXPECT_EQ(event.reportIds, (std::vector<qint64>{1, 3, 4, 2}));  // in time order
    EXPECT_EQ(event.largestPga, 0.02);
    EXPECT_NEAR(event.lat, 0.0, 1e-4);
    EXPECT_NEAR(std::remainder(event.lon - 179.95, 360.0), 0.0, 1e-4);

    // No member with a PGA: the event has none either.
    const auto without = finder.find({report(1, "a", 0), report(2, "b", 1), report(3, "c", 2)});
    ASSERT_EQ(without.size(), 1u);
    EXPECT_FALSE(without[0].largestPga);
    EXPECT_NEAR(without[0].lat, kLat, 1e-9);
    EXPECT_NEAR(without[0].lon, kLon, 1e-9);
}

TEST(EventFinder, RecomputeSpanRunsToAGapLongerThanT) {
    const std::vector<double> times = {0, 50, 110, 171, 200};  // gaps 50, 60, 61, 29
    const EventFinder finder;
    const struct {
        double time;
        TimeSpan span;
    } cases[] = {
        {110, {0, 110}},                     // a gap of exactly T joins, 61 s does not
        {171, {171, 200}}, {140, {0, 200}},  // a new report between two runs joins them
        {300, {300, 300}}, {-100, {-100, -100}},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(finder.recomputeSpan(c.time, times), c.span) << c.time;
    }
    EXPECT_EQ(finder.recomputeSpan(5, {}), (TimeSpan{5, 5}));
}

// Bursts of reports at two places 137 km apart, separated by gaps on both sides of T, with
// equal times, some PGAs missing and a few devices reporting twice.
std::vector<CandidateReport> randomReports(std::mt19937 &random) {
    const double burstGaps[] = {0, 30, 59.999, 60, 60.001, 75, 300};
    std::uniform_int_distribution<int> burstSize(1, 6), device(0, 9), gapIndex(0, 6);
    std::uniform_real_distribution<double> within(0, 20), jitter(-0.4, 0.4), pga(0.001, 0.1);
    std::vector<CandidateReport> reports;
    double time = kStart;
    for (int burst = 0; burst < 40; ++burst) {
        time += burstGaps[gapIndex(random)];
        const double centreLon = burst % 3 == 0 ? 140.5 : kLon;
        for (int i = burstSize(random); i > 0; --i) {
            // To the millisecond, as reports say, so that equal times and exact gaps happen.
            time = std::round((time + (random() % 4 == 0 ? 0 : within(random))) * 1000) / 1000;
            const bool hasPga = random() % 3 != 0;
            reports.push_back({qint64(reports.size() + 1),
                               QStringLiteral("d%1").arg(device(random)), time,
                               kLat + jitter(random), centreLon + jitter(random),
                               hasPga ? std::optional(pga(random)) : std::nullopt});
        }
    }
    return reports;
}

// The rule as the header states it, measuring every pair: the finder's shortcuts must not
// change a single membership.
std::vector<std::vector<qint64>> plainRule(std::vector<CandidateReport> reports) {
    std::sort(reports.begin(), reports.end(), [](const auto &a, const auto &b) {
        return std::pair(a.time, a.id) < std::pair(b.time, b.id);
    });
    const auto near = [](const CandidateReport &a, const CandidateReport &b) {
        double metres = 0;
        GeographicLib::Geodesic::WGS84().Inverse(a.lat, a.lon, b.lat, b.lon, metres);
        return metres <= 100e3 + 1e-3;
    };
    std::vector<std::vector<qint64>> events;
    while (!reports.empty()) {
        std::vector<CandidateReport> group = {reports.front()}, rest;
        for (auto it = reports.begin() + 1; it != reports.end(); ++it) {
            const bool joins = it->time - group.front().time <= 60 + 1e-6 &&
                               std::all_of(group.begin(), group.end(),
                                           [&](const auto &member) { return near(member, *it); });
            (joins ? group : rest).push_back(*it);
        }
        std::set<QString> devices;
        std::vector<qint64> ids;
        for (const CandidateReport &member : group) {
            devices.insert(member.device);
            ids.push_back(member.id);
        }
        if (devices.size() >= 3) {
            events.push_back(ids);
        } else {
            rest.assign(reports.begin() + 1, reports.end());
        }
        reports = rest;
    }
    return events;
}

bool byTimeThenSeed(const NetworkEvent &a, const NetworkEvent &b) {
    return a.time != b.time ? a.time < b.time : a.reportIds.front() < b.reportIds.front();
}

// The server's way: after each report arrives, only the events in its span are formed again.
// At every step that must give what forming all events from scratch gives, whatever order
// the reports arrive in.
TEST(EventFinder, RecomputingTheSpanAfterEachArrivalEqualsFormingAllAgain) {
    std::mt19937 random(20261208);
    std::vector<CandidateReport> reports = randomReports(random);
    const EventFinder finder;
    const std::vector<NetworkEvent> whole = finder.find(reports);
    ASSERT_GE(whole.size(), 8u);  // enough events for the comparison to mean something
    EXPECT_EQ(memberIds(whole), plainRule(reports));

    int partialSpans = 0;
    for (int round = 0; round < 5; ++round) {
        std::shuffle(reports.begin(), reports.end(), random);
        std::vector<CandidateReport> arrived;
        std::vector<double> times;
        std::vector<NetworkEvent> stored;
        for (const CandidateReport &report : reports) {
            arrived.push_back(report);
            times.insert(std::upper_bound(times.begin(), times.end(), report.time), report.time);
            const TimeSpan span = finder.recomputeSpan(report.time, times);
            partialSpans += span.first > times.front() || span.last < times.back();

            std::erase_if(stored, [&](const NetworkEvent &e) { return span.contains(e.time); });
            std::vector<CandidateReport> inSpan;
            std::copy_if(arrived.begin(), arrived.end(), std::back_inserter(inSpan),
                         [&](const CandidateReport &r) { return span.contains(r.time); });
            for (NetworkEvent &event : finder.find(inSpan)) {
                stored.push_back(std::move(event));
            }
            std::sort(stored.begin(), stored.end(), byTimeThenSeed);
            ASSERT_EQ(stored, finder.find(arrived))
                << "round " << round << ", report " << report.id << " arrived";
        }
        EXPECT_EQ(stored, whole) << "round " << round;
    }
    EXPECT_GT(partialSpans, 100);  // the spans did leave most of the reports alone
}

TEST(EventRule, ErrorSaysWhatCannotBeUsed) {
    EXPECT_EQ(EventRule{}.error(), "");
    EXPECT_EQ((EventRule{1, 0, 0}.error()), "");
    EXPECT_EQ((EventRule{0, 60, 100}.error()), "an event needs at least 1 device, not 0");
    EXPECT_EQ((EventRule{3, -1, 100}.error()), "an event's seconds must be 0 or more, not -1");
    EXPECT_EQ((EventRule{3, 60, NAN}.error()), "an event's kilometres must be 0 or more, not nan");
    EXPECT_EQ((EventRule{3, INFINITY, 100}.error()),
              "an event's seconds must be 0 or more, not inf");
}

}  // namespace
