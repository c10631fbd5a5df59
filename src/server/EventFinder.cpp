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
    if (!std::isfinite(seconds) || seconds < 0) {
        return QStringLiteral("an event's seconds must be 0 or more, not %1").arg(seconds);
    }
    if (!std::isfinite(kilometres) || kilometres < 0) {
        return QStringLiteral("an event's kilometres must be 0 or more, not %1").arg(kilometres);
    }
    return {};
}

std::vector<NetworkEvent> EventFinder::find(std::vector<CandidateReport> reports) const {
    std::sort(reports.begin(), reports.end(), byTimeThenId);
    std::vector<bool> taken(reports.size(), false);  // in an event, or set aside as a seed
    std::vector<NetworkEvent> events;
    std::vector<Member> group;
    for (size_t seed = 0; seed < reports.size(); ++seed) {
        if (taken[seed]) {
            continue;
        }
        group = {{seed, 0.0}};
        for (size_t i = seed + 1;
             i < reports.size() && closeInTime(reports[seed].time, reports[i].time); ++i) {
            if (taken[i]) {
                continue;
            }
            const Member candidate{i, metresBetween(reports[seed], reports[i])};
            if (nearEveryMember(reports, group, candidate)) {
                group.push_back(candidate);
            }
        }
        NetworkEvent event = eventOf(reports, group);
        if (event.devices >= mRule.devices) {
            for (const Member &member : group) {
                taken[member.index] = true;
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

bool EventFinder::closeInSpace(double metres) const {
    return metres <= mRule.kilometres * 1000 + kMetresSlack;
}

double EventFinder::metresBetween(const CandidateReport &a, const CandidateReport &b) {
    double metres = 0;
    GeographicLib::Geodesic::WGS84().Inverse(a.lat, a.lon, b.lat, b.lon, metres);
    return metres;
}

bool EventFinder::nearEveryMember(const std::vector<CandidateReport> &reports,
                                  const std::vector<Member> &group, const Member &candidate) const {
    if (!closeInSpace(candidate.fromSeed)) {
        return false;
    }
    // When a thousand devices shake in one city, measuring each against every member costs
    // half a million geodesics. The triangle inequality settles most pairs with the distances
    // to the seed, known already: the two are at most the sum of those apart. Compared without
    // the slack, so that the shortcut says yes only where measuring would (GeographicLib is
    // accurate to nanometres).
    const double metres = mRule.kilometres * 1000;
    return std::all_of(group.begin() + 1, group.end(), [&](const Member &member) {
        return candidate.fromSeed + member.fromSeed <= metres ||
               closeInSpace(metresBetween(reports[member.index], reports[candidate.index]));
    });
}

NetworkEvent EventFinder::eventOf(const std::vector<CandidateReport> &reports,
                                  const std::vector<Member> &group) const {
    const CandidateReport &seed = reports[group.front().index];
    NetworkEvent event;
    event.time = seed.time;
    std::set<QString> devices;
    Vector3 sum;
    for (const Member &member : group) {
        const CandidateReport *report = &reports[member.index];
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
    if (std::hypot(horizontal, sum.z) < 1e-9 * double(group.size())) {
        event.lat = seed.lat;
        event.lon = std::remainder(seed.lon, 360.0);
    } else {
        event.lat = std::atan2(sum.z, horizontal) / kRadiansPerDegree;
        event.lon = std::atan2(sum.y, sum.x) / kRadiansPerDegree;
    }
    return event;
}
