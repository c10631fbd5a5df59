#pragma once

#include <QString>

// One published sample: what the live stream turns into a datagram. Posted with the
// notification "AccelerationUpdate" and alive for its delivery only.
struct AccelerationInfo {
    QString deviceID;    // the device's unique identifier; not part of the datagram
    double absTime = 0;  // the event's time stamp, monotonic seconds
    double x = 0;        // the sample as stored in the history, g
    double y = 0;
    double z = 0;

    static AccelerationInfo createWithTimestamp(double timestamp, double x, double y, double z);
};

inline const QString kAccelerationUpdate = QStringLiteral("AccelerationUpdate");
