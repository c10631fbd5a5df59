#include "http/transport/RunLoop.h"

#include "http/transport/ReadStream.h"

#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

RunLoop &RunLoop::current() {
    thread_local std::unique_ptr<RunLoop> loop(new RunLoop);
    return *loop;
}

RunLoop::~RunLoop() {
    // The thread ends: streams that outlive it (a request kept after its end) must not reach
    // back into this loop, and their transfers end with it.
    for (const auto &stream : mStreams) {
        stream->runLoopGone();
    }
}

void RunLoop::addCommonMode(const QString &mode) {
    if (!mCommonModes.contains(mode)) {
        mCommonModes.append(mode);
    }
}

void RunLoop::wakeUp() {
    {
        std::lock_guard lock(mWakeLock);
        mWakeUpPending = true;
    }
    mWoken.notify_one();
}

void RunLoop::schedule(const std::shared_ptr<ReadStream> &stream) {
    if (std::find(mStreams.begin(), mStreams.end(), stream) == mStreams.end()) {
        mStreams.push_back(stream);
    }
}

void RunLoop::unschedule(ReadStream *stream) {
    std::erase_if(mStreams, [stream](const auto &s) { return s.get() == stream; });
}

RunLoop::Result RunLoop::runInMode(const QString &mode, double seconds,
                                   bool returnAfterSourceHandled) {
    QElapsedTimer clock;
    clock.start();
    const qint64 budgetMs = qint64(std::ceil(std::max(0.0, seconds) * 1000.0));
    bool handledAny = false;
    for (;;) {
        // Streams closed from another thread leave here, on their own thread.
        for (const auto &stream : std::vector(mStreams)) {
            if (stream->isClosed()) {
                unschedule(stream.get());
            }
        }
        for (const auto &stream : std::vector(mStreams)) {
            if (stream->mode() != mode) {
                continue;
            }
            while (const int event = stream->takePendingEvent()) {
                stream->deliver(event);
                if (event > 0) {
                    handledAny = true;
                    if (returnAfterSourceHandled) {
                        return Result::HandledSource;
                    }
                }
            }
        }
        const qint64 left = budgetMs - clock.elapsed();
        if (left <= 0) {
            return handledAny || !mStreams.empty() ? Result::TimedOut : Result::Finished;
        }
        std::unique_lock lock(mWakeLock);
        mWoken.wait_for(lock, std::chrono::milliseconds(std::min<qint64>(left, 250)),
                        [this] { return mWakeUpPending; });
        mWakeUpPending = false;
    }
}
