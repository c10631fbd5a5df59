// The settings file: whatever it holds, what the store accepts it writes back identically.
#include "FuzzCheck.h"
#include "prefs/PreferenceStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<QMap<QString, PrefValue>> values = PreferenceStore::parse(bytes, &error);
    FUZZ_CHECK(values.has_value() == error.isEmpty());
    FUZZ_CHECK(isPrintable(error));
    if (values) {
        const QByteArray written = PreferenceStore::serialize(*values);
        const std::optional<QMap<QString, PrefValue>> reread = PreferenceStore::parse(written);
        FUZZ_CHECK(reread.has_value());
        FUZZ_CHECK(*reread == *values);
    }
    return 0;
}
