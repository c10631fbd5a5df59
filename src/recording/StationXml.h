#pragma once

#include "recording/SeedCodes.h"

#include <QByteArray>
#include <QDateTime>

#include <optional>

// Where the station stands, when a location fix is known.
struct StationPosition {
    double latitude = 0;   // degrees north
    double longitude = 0;  // degrees east
    double elevation = 0;  // metres
};

// The station's metadata in FDSN StationXML 1.2: the station, its position when known, and its
// three channels (the device's x, y and z axes) with code, rate, orientation and the
// sensitivity that turns counts into m/s², so that tools convert without guessing.
namespace StationXml {

// Counts of micro-g per m/s².
inline constexpr double kSensitivity = 1e6 / 9.80665;

QByteArray document(const SeedCodes &codes, double rate,
                    const std::optional<StationPosition> &position, const QDateTime &created);

}  // namespace StationXml
