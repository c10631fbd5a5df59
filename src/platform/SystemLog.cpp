#include "platform/SystemLog.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex sinkMutex;
SystemLog::Sink currentSink;
}  // namespace

namespace SystemLog {

void log(const QString &line) {
    std::lock_guard lock(sinkMutex);
    if (currentSink) {
        currentSink(line);
        return;
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

Sink setSink(Sink sink) {
    std::lock_guard lock(sinkMutex);
    Sink previous = std::move(currentSink);
    currentSink = std::move(sink);
    return previous;
}

}  // namespace SystemLog
