#pragma once

#include <QString>

#include <functional>

// The system log: one plain line per message on standard error, no level or prefix.
// Main thread and workers alike; each line is written whole.
namespace SystemLog {

void log(const QString &line);

// Tests capture the log by installing a sink; an empty function restores stderr.
// Returns the sink that was installed before.
using Sink = std::function<void(const QString &line)>;
Sink setSink(Sink sink);

}  // namespace SystemLog

// printf-style convenience with C-locale number formatting (QString::asprintf never uses the
// user's locale).
#define SHAKELOG_LOG(...) SystemLog::log(QString::asprintf(__VA_ARGS__))
