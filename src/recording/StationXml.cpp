#include "recording/StationXml.h"

#include <QXmlStreamWriter>

namespace {
void writeNumber(QXmlStreamWriter &xml, const QString &name, double value) {
    xml.writeTextElement(name, QString::number(value, 'g', 10));
}

void writePosition(QXmlStreamWriter &xml, const std::optional<StationPosition> &position) {
    if (position) {
        writeNumber(xml, QStringLiteral("Latitude"), position->latitude);
        writeNumber(xml, QStringLiteral("Longitude"), position->longitude);
        writeNumber(xml, QStringLiteral("Elevation"), position->elevation);
    }
}
}  // namespace

QByteArray StationXml::document(const SeedCodes &codes, double rate,
                                const std::optional<StationPosition> &position,
                                const QDateTime &created) {
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("FDSNStationXML"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.fdsn.org/xml/station/1"));
    xml.writeAttribute(QStringLiteral("schemaVersion"), QStringLiteral("1.2"));
    xml.writeTextElement(QStringLiteral("Source"), QStringLiteral("Shakelog"));
    xml.writeTextElement(QStringLiteral("Created"), created.toUTC().toString(Qt::ISODate));
    xml.writeStartElement(QStringLiteral("Network"));
    xml.writeAttribute(QStringLiteral("code"), codes.network);
    xml.writeStartElement(QStringLiteral("Station"));
    xml.writeAttribute(QStringLiteral("code"), codes.station);
    writePosition(xml, position);
    xml.writeStartElement(QStringLiteral("Site"));
    xml.writeTextElement(QStringLiteral("Name"), QStringLiteral("Shakelog ") + codes.station);
    xml.writeEndElement();

    // The device's axes: x and y horizontal when it lies flat, z up out of its face. Counts are
    // positive along each axis, so the vertical channel points up (dip -90).
    struct Orientation {
        double azimuth, dip;
    };
    const Orientation orientations[3] = {{0, 0}, {90, 0}, {0, -90}};
    const std::array<QString, 3> channels = channelCodes(rate);
    for (int axis = 0; axis < 3; ++axis) {
        xml.writeStartElement(QStringLiteral("Channel"));
        xml.writeAttribute(QStringLiteral("code"), channels[axis]);
        xml.writeAttribute(QStringLiteral("locationCode"), codes.location);
        writePosition(xml, position);
        if (position) {
            writeNumber(xml, QStringLiteral("Depth"), 0);
        }
        writeNumber(xml, QStringLiteral("Azimuth"), orientations[axis].azimuth);
        writeNumber(xml, QStringLiteral("Dip"), orientations[axis].dip);
        writeNumber(xml, QStringLiteral("SampleRate"), rate);
        xml.writeStartElement(QStringLiteral("Response"));
        xml.writeStartElement(QStringLiteral("InstrumentSensitivity"));
        writeNumber(xml, QStringLiteral("Value"), kSensitivity);
        writeNumber(xml, QStringLiteral("Frequency"), 1);
        xml.writeStartElement(QStringLiteral("InputUnits"));
        xml.writeTextElement(QStringLiteral("Name"), QStringLiteral("M/S**2"));
        xml.writeTextElement(QStringLiteral("Description"), QStringLiteral("Acceleration"));
        xml.writeEndElement();
        xml.writeStartElement(QStringLiteral("OutputUnits"));
        xml.writeTextElement(QStringLiteral("Name"), QStringLiteral("COUNTS"));
        xml.writeTextElement(QStringLiteral("Description"), QStringLiteral("Micro-g"));
        xml.writeEndElement();
        xml.writeEndElement();  // InstrumentSensitivity
        xml.writeEndElement();  // Response
        xml.writeEndElement();  // Channel
    }
    xml.writeEndElement();  // Station
    xml.writeEndElement();  // Network
    xml.writeEndElement();  // FDSNStationXML
    xml.writeEndDocument();
    return bytes;
}
