#pragma once

#include "platform/CFormat.h"

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

// printf-style convenience, formatted as C formats it (see CFormat.h).
#define SHAKELOG_LOG(...) SystemLog::log(cFormat(__VA_ARGS__))
