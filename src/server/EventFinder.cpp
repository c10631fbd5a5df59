#include "server/EventFinder.h"

#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>

namespace {

// Rounding allowances: far below any real difference (report times are written to the
// millisecond, positions to about a metre), far above the error of the arithmetic.
constexpr double kSecondsSlack = 1e-6;
constexpr double kMetresSlack = 1e-3;

constexpr double kRadiansPerDegree = std::numbers::pi / 180;

struct Vector3 {
    double x = 0, y = 0, z = 0;
};

Vector3 unitNormal(double lat, double lon) {
    const double phi = lat * kRadiansPerDegree;
    const double lambda = lon * kRadiansPerDegree;
    return {std::cos(phi) * std::cos(lambda), std::cos(phi) * std::sin(lambda), std::sin(phi)};
}

bool byTimeThenId(const CandidateReport &a, const CandidateReport &b) {
    return a.time != b.time ? a.time < b.time : a.id < b.id;
}

}  // namespace

QString EventRule::error() const {
    if (devices < 1) {
        return QStringLiteral("an event needs at least 1 device, not %1").arg(devices);
    }
    // Negated comparisons so that NaN is refused as well.
    if (!(seconds >= 0) || !std::isfinite(seconds)) {
        return QStringLiteral("an event's seconds must be 0 or more, not %1").arg(seconds);
    }
    if (!(kilometres >= 0) || !std::isfinite(kilometres)) {
        return QStringLiteral("an event's kilometres must be 0 or more, not %1").arg(kilometres);
    }
    return {};
}

std::vector<NetworkEvent> EventFinder::find(std::vector<CandidateReport> reports) const {
    std::sort(reports.begin(), reports.end(), byTimeThenId);
    std::vector<bool> taken(reports.size(), false);  // in an event, or set aside as a seed
    std::vector<NetworkEvent> events;
    std::vector<const CandidateReport *> group;
    std::vector<size_t> groupIndexes;
    for (size_t seed = 0; seed < reports.size(); ++seed) {
        if (taken[seed]) {
            continue;
        }
        group = {&reports[seed]};
        groupIndexes = {seed};
        for (size_t i = seed + 1;
             i < reports.size() && closeInTime(reports[seed].time, reports[i].time); ++i) {
            if (taken[i]) {
                continue;
            }
            const bool nearAll = std::all_of(group.begin(), group.end(), [&](const auto *member) {
                return closeInSpace(*member, reports[i]);
            });
            if (nearAll) {
                group.push_back(&reports[i]);
                groupIndexes.push_back(i);
            }
        }
        NetworkEvent event = eventOf(group);
        if (event.devices >= mRule.devices) {
            for (size_t i : groupIndexes) {
                taken[i] = true;
            }
            events.push_back(std::move(event));
        }
        taken[seed] = true;
    }
    return events;
}

TimeSpan EventFinder::recomputeSpan(double time, std::span<const double> sortedTimes) const {
    TimeSpan span{time, time};
    const auto at = std::lower_bound(sortedTimes.begin(), sortedTimes.end(), time);
    for (auto before = at; before != sortedTimes.begin() && closeInTime(*(before - 1), span.first);
         --before) {
        span.first = *(before - 1);
    }
    for (auto after = at; after != sortedTimes.end() && closeInTime(span.last, *after); ++after) {
        span.last = *after;
    }
    return span;
}

bool EventFinder::closeInTime(double earlier, double later) const {
    return later - earlier <= mRule.seconds + kSecondsSlack;
}

bool EventFinder::closeInSpace(const CandidateReport &a, const CandidateReport &b) const {
    double metres = 0;
    GeographicLib::Geodesic::WGS84().Inverse(a.lat, a.lon, b.lat, b.lon, metres);
    return metres <= mRule.kilometres * 1000 + kMetresSlack;
}

NetworkEvent EventFinder::eventOf(const std::vector<const CandidateReport *> &members) const {
    NetworkEvent event;
    event.time = members.front()->time;
    std::set<QString> devices;
    Vector3 sum;
    for (const CandidateReport *report : members) {
        devices.insert(report->device);
        event.reportIds.push_back(report->id);
        if (report->pga && (!event.largestPga || *report->pga > *event.largestPga)) {
            event.largestPga = report->pga;
        }
        const Vector3 normal = unitNormal(report->lat, report->lon);
        sum.x += normal.x;
        sum.y += normal.y;
        sum.z += normal.z;
    }
    event.devices = int(devices.size());
    const double horizontal = std::hypot(sum.x, sum.y);
    // Relative to the members' count: a mean normal this short has no direction worth the name.
    if (std::hypot(horizontal, sum.z) < 1e-9 * double(members.size())) {
        event.lat = members.front()->lat;
        event.lon = std::remainder(members.front()->lon, 360.0);
    } else {
        event.lat = std::atan2(sum.z, horizontal) / kRadiansPerDegree;
        event.lon = std::atan2(sum.y, sum.x) / kRadiansPerDegree;
    }
    return event;
}
