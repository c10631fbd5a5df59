#include "detection/Event.h"

#include "platform/Accelerometer.h"

#include <QDateTime>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>

namespace {
// Kept to what the sensor and the clocks can tell, so that the file stays readable. Divided by
// a whole power of ten, the result is the double nearest the decimal and prints as it.
double rounded(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    const double scaled = value * scale;
    return std::isfinite(scaled) ? std::round(scaled) / scale : value;
}

std::optional<double> utcSeconds(const QJsonValue &value) {
    const QDateTime time = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!time.isValid()) {
        return std::nullopt;
    }
    return double(time.toMSecsSinceEpoch()) / 1000.0;
}
}  // namespace

double Event::pgaCentimetresPerSecond2() const { return pga * kStandardGravity * 100.0; }

double Event::intensityFromPga(double centimetresPerSecond2) {
    // Wald, Quitoriano, Heaton and Kanamori (1999), Earthquake Spectra 15(3): from California
    // earthquakes, MMI = 3.66 log10(PGA) - 1.66 for V to VIII, and below V the relation of
    // the same year's ShakeMap paper, MMI = 2.20 log10(PGA) + 1.00 (PGA in cm/s²). The two
    // lines cross at MMI 5 (about 66 cm/s²).
    if (!(centimetresPerSecond2 > 0)) {
        return 1.0;
    }
    const double logPga = std::log10(centimetresPerSecond2);
    const double high = 3.66 * logPga - 1.66;
    const double intensity = high >= 5.0 ? high : 2.20 * logPga + 1.00;
    return std::clamp(intensity, 1.0, 10.0);
}

QString Event::romanNumeral(double intensity) {
    static const char *const kNumerals[] = {"I",  "II",  "III",  "IV", "V",
                                            "VI", "VII", "VIII", "IX", "X"};
    const long degree = std::clamp(std::lround(intensity), 1L, 10L);
    return QString::fromLatin1(kNumerals[degree - 1]);
}

QString Event::utcText(double secondsSinceEpoch) {
    return QDateTime::fromMSecsSinceEpoch(std::llround(secondsSinceEpoch * 1000.0), Qt::UTC)
        .toString(Qt::ISODateWithMs);
}

QString Event::startLine() const { return QStringLiteral("event start ") + utcText(start); }

QString Event::endLine() const {
    return QStringLiteral("event end %1 duration %2 s pga %3 g axis %4 ratio %5")
        .arg(utcText(end))
        .arg(duration(), 0, 'f', 1)
        .arg(pga, 0, 'f', 4)
        .arg(axisName(pgaAxis))
        .arg(peakRatio, 0, 'f', 1);
}

QJsonObject Event::toJson() const {
    QJsonObject object{
        {QStringLiteral("start"), utcText(start)},
        {QStringLiteral("end"), utcText(end)},
        {QStringLiteral("duration_s"), rounded(duration(), 3)},
        {QStringLiteral("peak_ratio"), rounded(peakRatio, 2)},
        {QStringLiteral("pga_g"), rounded(pga, 6)},
        {QStringLiteral("pga_cm_s2"), rounded(pgaCentimetresPerSecond2(), 3)},
        {QStringLiteral("pga_axis"), QString(axisName(pgaAxis))},
        {QStringLiteral("intensity_mmi"), rounded(intensity(), 1)},
        {QStringLiteral("intensity"), romanNumeral(intensity())},
        {QStringLiteral("cut_short"), cutShort},
    };
    if (!archive.isEmpty()) {
        object.insert(QStringLiteral("archive"), archive);
        object.insert(QStringLiteral("station"), station);
    }
    return object;
}

QByteArray Event::jsonLine() const {
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact) + '\n';
}

std::optional<Event> Event::fromJson(const QJsonObject &object) {
    const std::optional<double> start = utcSeconds(object.value(QStringLiteral("start")));
    const std::optional<double> end = utcSeconds(object.value(QStringLiteral("end")));
    const QJsonValue pga = object.value(QStringLiteral("pga_g"));
    const QString axis = object.value(QStringLiteral("pga_axis")).toString();
    const QJsonValue ratio = object.value(QStringLiteral("peak_ratio"));
    if (!start || !end || *end < *start || !pga.isDouble() || !(pga.toDouble() >= 0) ||
        !std::isfinite(pga.toDouble()) || axis.size() != 1 ||
        !QStringLiteral("xyz").contains(axis)) {
        return std::nullopt;
    }
    Event event;
    event.start = *start;
    event.end = *end;
    event.pga = pga.toDouble();
    event.pgaAxis = int(QStringLiteral("xyz").indexOf(axis));
    event.peakRatio = ratio.isDouble() && std::isfinite(ratio.toDouble()) ? ratio.toDouble() : 0;
    event.cutShort = object.value(QStringLiteral("cut_short")).toBool();
    event.archive = object.value(QStringLiteral("archive")).toString();
    event.station = object.value(QStringLiteral("station")).toString();
    return event;
}
