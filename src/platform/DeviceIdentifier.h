#pragma once

#include <QString>

// The device's unique identifier: an application-specific value derived from the machine id by
// a keyed hash, so the raw machine id never leaves the process. Computed once.
namespace DeviceIdentifier {

QString uniqueIdentifier();

// Tests pin the identifier; an empty string returns to the derived one.
void setOverride(const QString &identifier);

}  // namespace DeviceIdentifier
