// The event log as a reader finds it after crashes, full disks and hand edits: any bytes.
#include "FuzzCheck.h"
#include "detection/EventLog.h"
#include "platform/SystemLog.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool logChecked = [] {
        SystemLog::setSink([](const QString &line) { FUZZ_CHECK(isPrintable(line)); });
        return true;
    }();
    (void)logChecked;
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::vector<Event> events = EventLog::parse(bytes, QStringLiteral("events.jsonl"));
    FUZZ_CHECK(qsizetype(events.size()) <= bytes.count('\n') + 1);
    for (const Event &event : events) {
        FUZZ_CHECK(std::isfinite(event.start) && std::isfinite(event.end));
        FUZZ_CHECK(event.end >= event.start);
        FUZZ_CHECK(std::isfinite(event.pga) && event.pga >= 0);
        FUZZ_CHECK(event.pgaAxis >= 0 && event.pgaAxis < 3);
        FUZZ_CHECK(std::isfinite(event.peakRatio));
        const double intensity = event.intensity();
        FUZZ_CHECK(intensity >= 1 && intensity <= 10);
        FUZZ_CHECK(isPrintable(event.startLine()) && isPrintable(event.endLine()));
        // What was read is written back as one line that reads as the same event.
        const QByteArray line = event.jsonLine();
        FUZZ_CHECK(line.count('\n') == 1 && line.endsWith('\n'));
        const std::vector<Event> again = EventLog::parse(line, QStringLiteral("again"));
        FUZZ_CHECK(again.size() == 1);
        FUZZ_CHECK(again[0].start == event.start && again[0].end == event.end);
        FUZZ_CHECK(again[0].pgaAxis == event.pgaAxis);
        FUZZ_CHECK(std::abs(again[0].pga - event.pga) <= 1e-6 * std::max(1.0, event.pga));
    }
    return 0;
}
