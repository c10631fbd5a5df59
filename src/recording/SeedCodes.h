#pragma once

#include <QString>

#include <array>
#include <optional>

// The names a seismological archive files samples under: network, station and location codes
// (from the settings or --station NET.STA.LOC) and the channel codes, which the SEED manual
// builds from a band code (the sampling rate), an instrument code (N: accelerometer) and an
// orientation (1 and 2 for the device's x and y axes, Z for its z axis).
struct SeedCodes {
    QString network = QStringLiteral("XX");
    QString station;
    QString location = QStringLiteral("00");

    // "NET.STA.LOC" (the location may be empty: "NET.STA."). None with `error` saying why when
    // a code breaks SEED's rules.
    static std::optional<SeedCodes> parse(const QString &text, QString *error);
    // Why `code` cannot be a network (1–2 characters), station (1–5) or location (0–2) code:
    // upper-case letters and digits only. Empty when it can.
    static QString networkProblem(const QString &code);
    static QString stationProblem(const QString &code);
    static QString locationProblem(const QString &code);
    // The codes of the STATION_NETWORK, STATION_CODE and STATION_LOCATION settings ("--": no
    // location); an empty one, or one breaking the rules (with a log line), gives its default:
    // XX, the device's own code, 00.
    static SeedCodes fromSettings();
    // Five letters and digits derived from the device identifier, the same on every run.
    static QString stationFromDeviceIdentifier(const QString &identifier);

    // "XX.STA.00"
    QString text() const;
};

// The SEED band code for a sampling rate in samples/s (the broadband column of the manual's
// table: B for 10 to 80, H for 80 to 250, …).
QChar bandCode(double rate);
// The three channel codes for the device's x, y and z axes: {"HN1", "HN2", "HNZ"} at 100/s.
std::array<QString, 3> channelCodes(double rate);
