// An outbox file: whatever it holds, the parser answers with an entry or a printable reason, and
// an entry it accepts, written back, reads as the same entry (a kept report survives being kept
// again after one more failed attempt): the same URL as sent, the same body, the same schedule.
#include "FuzzCheck.h"
#include "sharing/OutboxEntry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<OutboxEntry> entry =
        OutboxEntry::parse(QStringLiteral("20261208T102145120Z-0000-3f9a2c1b"), bytes, &error);
    FUZZ_CHECK(entry.has_value() == error.isEmpty());
    FUZZ_CHECK(isPrintable(error));
    if (entry) {
        const std::optional<OutboxEntry> reread =
            OutboxEntry::parse(entry->id, entry->toBytes(), &error);
        FUZZ_CHECK(reread.has_value());
        FUZZ_CHECK(reread->url.toEncoded() == entry->url.toEncoded());
        FUZZ_CHECK(reread->contentType == entry->contentType);
        FUZZ_CHECK(reread->body == entry->body);
        FUZZ_CHECK(reread->created == entry->created);
        FUZZ_CHECK(reread->nextTry == entry->nextTry);
        FUZZ_CHECK(reread->attempts == entry->attempts);
        FUZZ_CHECK(reread->lastReason == entry->lastReason);
    }
    return 0;
}
