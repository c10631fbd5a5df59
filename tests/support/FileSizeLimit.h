#pragma once

#include <csignal>
#include <sys/resource.h>

// For the life of the guard, writes past `bytes` into any file fail (EFBIG) instead of raising
// SIGXFSZ: a full disk, without filling one.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &mSaved);
        mSavedSignal = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit small{bytes, mSaved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &mSaved);
        std::signal(SIGXFSZ, mSavedSignal);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit mSaved{};
    void (*mSavedSignal)(int) = SIG_DFL;
};
