#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>
#include <span>
#include <vector>

// A report that may belong to an event: one marked as an earthquake or sent by the trigger.
struct CandidateReport {
    qint64 id = 0;  // the stored report's id: unique, and the tie-break between equal times
    QString device;
    double time = 0;            // seconds since 1970, UTC, finite: the caller's choice of moment
    double lat = 0;             // degrees, WGS84, -90 to 90
    double lon = 0;             // degrees, WGS84, any (taken modulo 360)
    std::optional<double> pga;  // g; none when the report does not say
};

// What makes an event: at least `devices` distinct devices within `seconds` and `kilometres`.
struct EventRule {
    int devices = 3;          // at least 1
    double seconds = 60;      // at least 0
    double kilometres = 100;  // at least 0

    // Empty when the rule can be used; else one line saying what is wrong, for the command line.
    QString error() const;
};

// Reports of several devices that shook together.
struct NetworkEvent {
    double time = 0;                   // the earliest member's time
    double lat = 0;                    // the members' centroid (see EventFinder), degrees
    double lon = 0;                    // -180 to 180
    int devices = 0;                   // distinct devices among the members
    std::optional<double> largestPga;  // g; none when no member has one
    std::vector<qint64> reportIds;     // the members, in (time, id) order: the seed first

    bool operator==(const NetworkEvent &) const = default;
};

// Both ends included; each is a candidate's time or the time the span was asked for.
struct TimeSpan {
    double first = 0;
    double last = 0;

    bool contains(double time) const { return first <= time && time <= last; }
    bool operator==(const TimeSpan &) const = default;
};

// Forms events from candidate reports by one deterministic rule, so that the same set of
// reports gives the same events whatever order they arrived in and whichever server process
// stored them.
//
// The rule, with T = seconds, D = kilometres, N = devices:
//  1. Sort the candidates by (time, id).
//  2. The earliest report not yet in an event and not yet set aside is the seed of a group.
//  3. Every later such report, in order, whose time is at most T after the seed's joins the
//     group when it lies within D of every member so far (the seed included).
//  4. A group with at least N distinct devices (two reports of one device count once) is an
//     event: its reports leave the pool. Otherwise only the seed is set aside; the others stay
//     in the pool and may join a later seed's group.
//  5. Back to 2 until no report is left.
// Distances are geodesics on the WGS84 ellipsoid (GeographicLib). "At most T" and "within D"
// allow a microsecond and a millimetre, so that times written to the millisecond exactly T
// apart, or points placed exactly D apart, count as inside despite binary rounding.
//
// An event's position is the centroid of its members: the mean of their unit normals (the
// n-vector of each latitude and longitude), turned back into a latitude and longitude. It is
// right across the antimeridian and at the poles, where averaging degrees is not. Should the
// normals cancel out (members spread around the globe, possible only with a huge D), the
// seed's position stands in.
//
// Cost: one geodesic from each seed to each report within T of it, and one per pair of members
// only where their distances to the seed leave it open (a thousand reports from one city in a
// minute: a few milliseconds). Pure computation, no state: callable from any thread.
class EventFinder {
public:
    explicit EventFinder(EventRule rule = {}) : mRule(rule) {}

    const EventRule &rule() const { return mRule; }

    // The events the rule forms from `reports`, in (time, seed id) order.
    std::vector<NetworkEvent> find(std::vector<CandidateReport> reports) const;

    // Keeping stored events current as reports come and go, without forming them all again:
    // a report that arrives (or leaves) at `time` can change only the events inside the span
    // this returns. Drop the stored events whose time lies in the span, and store what find()
    // forms from the candidates whose time lies in it: the result is exactly what find()
    // would form from all candidates. `sortedTimes` holds the times of all candidates,
    // ascending, with or without `time` itself (for a report that leaves: with it). Call it,
    // and replace the events, under the same lock or transaction as the report's insert, so
    // that the times include every candidate committed before.
    //
    // The span runs from `time` outwards, on each side, through the sorted candidates until
    // one lies more than T after (or before) its neighbour. Why that suffices: cut the sorted
    // candidates at every gap longer than T into runs. A group's members are at most T after
    // its seed, so every gap between them is at most T (rounding is monotone, so this holds in
    // floating point too): a group never straddles a cut. The rule then works on each run
    // alone, and it takes seeds in time order, so what happens in one run cannot change what
    // happens in another: the events of the whole set are the union of the events of each run
    // formed separately. A new report changes only the run it falls into, which may join runs
    // that were separate; that run is the span, and every event stored before lay wholly
    // inside it or wholly outside. A report that leaves may split its run; the pieces lie in
    // the span computed with it.
    TimeSpan recomputeSpan(double time, std::span<const double> sortedTimes) const;

private:
    // A report in a seed's group: the seed first.
    struct Member {
        size_t index;     // into the sorted reports
        double fromSeed;  // metres
    };

    bool closeInTime(double earlier, double later) const;
    bool closeInSpace(double metres) const;
    static double metresBetween(const CandidateReport &a, const CandidateReport &b);
    bool nearEveryMember(const std::vector<CandidateReport> &reports,
                         const std::vector<Member> &group, const Member &candidate) const;
    NetworkEvent eventOf(const std::vector<CandidateReport> &reports,
                         const std::vector<Member> &group) const;

    EventRule mRule;
};
