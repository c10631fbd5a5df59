#pragma once

#include "platform/LocationManager.h"

#include <QBuffer>
#include <QByteArray>
#include <QNmeaPositionInfoSource>
#include <QString>

#include <vector>

// Position fixes for tests: an NMEA log played by Qt's NMEA source in simulation mode.

// One NMEA sentence with its checksum.
inline QByteArray nmeaSentence(const QString &body) {
    const QByteArray bytes = body.toLatin1();
    quint8 checksum = 0;
    for (char c : bytes) {
        checksum ^= static_cast<quint8>(c);
    }
    return "$" + bytes + "*" + QByteArray::number(checksum, 16).rightJustified(2, '0').toUpper() +
           "\r\n";
}

// 35°40.5'N 139°45.25'E at 40.5 m; each fix 0.1 s after the previous one, moved north by
// the given number of metres. Without GGA sentences the fixes have no altitude.
constexpr double kLatitude = 35.675;
constexpr double kLongitude = 139.0 + 45.25 / 60.0;
constexpr double kAltitude = 40.5;
constexpr double kMetresPerArcMinute = 1852.0;

inline QByteArray nmeaLog(const std::vector<double> &northMetres, bool withAltitude = true) {
    QByteArray log;
    for (size_t i = 0; i < northMetres.size(); ++i) {
        const QString time = QStringLiteral("1200%1.%2").arg(i / 10, 2, 10, QChar('0')).arg(i % 10);
        const QString latitude =
            QString::asprintf("35%07.4f", 40.5 + northMetres[i] / kMetresPerArcMinute);
        if (withAltitude) {
            log +=
                nmeaSentence(QStringLiteral("GPGGA,%1,%2,N,13945.2500,E,1,08,0.9,40.5,M,39.4,M,,")
                                 .arg(time, latitude));
        }
        log += nmeaSentence(
            QStringLiteral("GPRMC,%1,A,%2,N,13945.2500,E,0.0,0.0,010524,,,A").arg(time, latitude));
    }
    return log;
}

// A source factory for LocationManager::setSourceFactory that plays `log`.
inline LocationManager::SourceFactory nmeaFactory(const QByteArray &log) {
    return [log](QObject *parent) {
        auto *source = new QNmeaPositionInfoSource(QNmeaPositionInfoSource::SimulationMode, parent);
        // Created after the source, so destroyed after it.
        auto *buffer = new QBuffer(parent);
        buffer->setData(log);
        buffer->open(QIODevice::ReadOnly);
        source->setDevice(buffer);
        return source;
    };
}
