#include "platform/CFormat.h"

#include <locale.h>
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <vector>

QString cFormat(const char *format, ...) {
    // uselocale() changes this thread's locale only, for the length of the call.
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const locale_t previous = uselocale(cLocale);
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    char small[256];
    const int length = std::vsnprintf(small, sizeof small, format, args);
    QString text;
    if (length >= 0 && size_t(length) < sizeof small) {
        text = QString::fromUtf8(small, length);
    } else if (length >= 0) {
        std::vector<char> large(size_t(length) + 1);
        std::vsnprintf(large.data(), large.size(), format, again);
        text = QString::fromUtf8(large.data(), length);
    }
    va_end(again);
    va_end(args);
    uselocale(previous);
    return text;
}
