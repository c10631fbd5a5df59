#pragma once

#include <QString>

// printf-style formatting exactly as the C library does it, in the C locale whatever the
// user's: ties round as C rounds them (0.0625 with three decimals is 0.062), negative zero keeps
// its sign (-0.000), the decimal point is always a point. QString::asprintf rounds and signs
// numbers its own way, so texts that others read (datagrams, exports, reports, labels, log
// lines) are made here. Any thread.
QString cFormat(const char *format, ...) __attribute__((format(printf, 1, 2)));
