#pragma once

#include <QString>

#include <cstdio>
#include <cstdlib>

// A broken promise of the code under test: printed, then abort() so that libFuzzer keeps the
// input as a crash.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

// Messages that quote outside input reach a terminal: no control or escape bytes in them.
inline bool isPrintable(const QString &text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f ||
            (c.unicode() >= 0x80 && c.unicode() < 0xa0)) {
            return false;
        }
    }
    return true;
}
