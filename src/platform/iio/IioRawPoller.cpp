#include "platform/iio/IioRawPoller.h"

#include "platform/MonotonicClock.h"
#include "platform/PrintableText.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

IioRawPoller::State::~State() {
    for (const int fd : fds) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool IioRawPoller::open(const std::array<QString, 3> &paths, QString *error) {
    auto state = std::make_shared<State>();
    state->paths = paths;
    for (size_t a = 0; a < 3; ++a) {
        state->fds[a] = ::open(QFile::encodeName(paths[a]).constData(), O_RDONLY | O_CLOEXEC);
        if (state->fds[a] < 0) {
            *error = QStringLiteral("cannot open %1: %2")
                         .arg(paths[a], QString::fromLocal8Bit(std::strerror(errno)));
            return false;  // the state closes what was opened
        }
    }
    mState = std::move(state);
    return true;
}

void IioRawPoller::start(double rate, SampleHandler onSample, FailureHandler onFailure) {
    mState->onSample = std::move(onSample);
    mState->onFailure = std::move(onFailure);
    std::thread([state = mState, rate] { run(state, rate); }).detach();
}

void IioRawPoller::stop() {
    if (!mState) {
        return;
    }
    {
        std::lock_guard lock(mState->mutex);
        mState->stopping = true;
    }
    mState->wake.notify_all();
    mState.reset();
}

void IioRawPoller::run(const std::shared_ptr<State> &state, double rate) {
    using Clock = std::chrono::steady_clock;
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
    auto deadline = Clock::now();
    for (;;) {
        std::array<int64_t, 3> raw{};
        QString reason;
        const bool read = readOnce(*state, &raw, &reason);
        const double timestamp = monotonicSeconds();
        std::unique_lock lock(state->mutex);
        if (state->stopping) {
            return;
        }
        if (!read) {
            state->onFailure(reason);
            return;
        }
        state->onSample(raw, timestamp);
        // Absolute deadlines keep the rate steady whatever a read costs; after a long stall the
        // schedule starts again from now rather than catching up in a burst.
        deadline += period;
        if (deadline < Clock::now()) {
            deadline = Clock::now();
        }
        if (state->wake.wait_until(lock, deadline, [&state] { return state->stopping; })) {
            return;
        }
    }
}

bool IioRawPoller::readOnce(const State &state, std::array<int64_t, 3> *raw, QString *reason) {
    for (size_t a = 0; a < 3; ++a) {
        char text[32];
        const ssize_t got = ::pread(state.fds[a], text, sizeof text - 1, 0);
        if (got <= 0) {
            *reason = got == 0
                          ? QStringLiteral("%1 is empty").arg(state.paths[a])
                          : QStringLiteral("reading %1 failed: %2")
                                .arg(state.paths[a], QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        const QByteArray value = QByteArray(text, got).trimmed();
        bool ok = false;
        (*raw)[a] = value.toLongLong(&ok);
        if (!ok) {
            *reason = QStringLiteral("%1: '%2' is not a number")
                          .arg(state.paths[a], printableText(value));
            return false;
        }
    }
    return true;
}
