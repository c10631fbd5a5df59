#include "platform/iio/IioRawPoller.h"

#include "platform/MonotonicClock.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>

bool IioRawPoller::open(const std::array<QString, 3> &paths, QString *error) {
    mPaths = paths;
    for (size_t a = 0; a < 3; ++a) {
        mFds[a] = ::open(QFile::encodeName(paths[a]).constData(), O_RDONLY | O_CLOEXEC);
        if (mFds[a] < 0) {
            *error = QStringLiteral("cannot open %1: %2")
                         .arg(paths[a], QString::fromLocal8Bit(std::strerror(errno)));
            stop();
            return false;
        }
    }
    return true;
}

void IioRawPoller::start(double rate, SampleHandler onSample, FailureHandler onFailure) {
    mOnSample = std::move(onSample);
    mOnFailure = std::move(onFailure);
    mStopping = false;
    mThread = std::thread([this, rate] { run(rate); });
}

void IioRawPoller::stop() {
    if (mThread.joinable()) {
        {
            std::lock_guard lock(mMutex);
            mStopping = true;
        }
        mWake.notify_all();
        mThread.join();
    }
    for (int &fd : mFds) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
}

void IioRawPoller::run(double rate) {
    using Clock = std::chrono::steady_clock;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
    auto deadline = Clock::now();
    for (;;) {
        std::array<int64_t, 3> raw{};
        QString reason;
        if (!readOnce(&raw, &reason)) {
            mOnFailure(reason);
            return;
        }
        mOnSample(raw, monotonicSeconds());
        // Absolute deadlines keep the rate steady whatever a read costs; after a long stall the
        // schedule starts again from now rather than catching up in a burst.
        deadline += period;
        if (deadline < Clock::now()) {
            deadline = Clock::now();
        }
        std::unique_lock lock(mMutex);
        if (mWake.wait_until(lock, deadline, [this] { return mStopping; })) {
            return;
        }
    }
}

bool IioRawPoller::readOnce(std::array<int64_t, 3> *raw, QString *reason) const {
    for (size_t a = 0; a < 3; ++a) {
        char text[32];
        const ssize_t got = ::pread(mFds[a], text, sizeof text - 1, 0);
        if (got <= 0) {
            *reason = got == 0 ? QStringLiteral("%1 is empty").arg(mPaths[a])
                               : QStringLiteral("reading %1 failed: %2")
                                     .arg(mPaths[a], QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        const QByteArray value = QByteArray(text, got).trimmed();
        bool ok = false;
        (*raw)[a] = value.toLongLong(&ok);
        if (!ok) {
            *reason = QStringLiteral("%1: '%2' is not a number")
                          .arg(mPaths[a], QString::fromLatin1(value));
            return false;
        }
    }
    return true;
}
