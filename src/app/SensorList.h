#pragma once

#include <QString>

// The text of --list-sensors: one block per accelerometer found, Qt Sensors backends (not the
// dummy one) first, then IIO devices; a sentence saying so when there is none.
QString describeAccelerometers();
