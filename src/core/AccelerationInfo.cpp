#include "core/AccelerationInfo.h"

#include "platform/DeviceIdentifier.h"

AccelerationInfo AccelerationInfo::createWithTimestamp(double timestamp, double x, double y,
                                                       double z) {
    return {DeviceIdentifier::uniqueIdentifier(), timestamp, x, y, z};
}
