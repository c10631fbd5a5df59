#include "http/transport/RunLoop.h"

#include "http/transport/ReadStream.h"

#include <curl/curl.h>

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>

RunLoop &RunLoop::current() {
    thread_local std::unique_ptr<RunLoop> loop(new RunLoop);
    return *loop;
}

RunLoop::RunLoop() : mMulti(curl_multi_init()) {}

RunLoop::~RunLoop() {
    // The thread ends: streams that outlive it (a request kept after its end) must not reach
    // back into this loop.
    for (const auto &stream : mStreams) {
        curl_multi_remove_handle(mMulti, stream->easyHandle());
        stream->runLoopGone();
    }
    mStreams.clear();
    curl_multi_cleanup(mMulti);
}

void RunLoop::addCommonMode(const QString &mode) {
    if (!mCommonModes.contains(mode)) {
        mCommonModes.append(mode);
    }
}

void RunLoop::wakeUp() { curl_multi_wakeup(mMulti); }

void RunLoop::schedule(const std::shared_ptr<ReadStream> &stream) {
    if (std::find(mStreams.begin(), mStreams.end(), stream) == mStreams.end()) {
        mStreams.push_back(stream);
    }
}

void RunLoop::unschedule(ReadStream *stream) {
    removeTransfer(stream);
    std::erase_if(mStreams, [stream](const auto &s) { return s.get() == stream; });
}

bool RunLoop::addTransfer(ReadStream *stream) {
    return curl_multi_add_handle(mMulti, stream->easyHandle()) == CURLM_OK;
}

void RunLoop::removeTransfer(ReadStream *stream) {
    curl_multi_remove_handle(mMulti, stream->easyHandle());
}

void RunLoop::performTransfers() {
    int running = 0;
    curl_multi_perform(mMulti, &running);
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(mMulti, &left)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        ReadStream *stream = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &stream);
        if (stream) {
            stream->transferDone(int(message->data.result));
        }
    }
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
        performTransfers();
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
        curl_multi_poll(mMulti, nullptr, 0, int(std::min<qint64>(left, 250)), nullptr);
    }
}
