#pragma once

#include <QString>
#include <QStringList>

// The device's unique identifier: an application-specific value derived from the machine id by
// a keyed hash, so the raw machine id never leaves the process. Computed once.
namespace DeviceIdentifier {

QString uniqueIdentifier();

// Tests pin the identifier; an empty string returns to the derived one.
void setOverride(const QString &identifier);

// Where the machine id is read, first found first: the system's files.
const QStringList &machineIdFiles();
// The identifier for the machine id in the first of `files` that holds one (its first line,
// without surrounding blanks): 32 lowercase hexadecimal digits. With none, the host name stands
// in for the machine id.
QString derivedIdentifier(const QStringList &files);

}  // namespace DeviceIdentifier
