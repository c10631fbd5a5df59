#include "http/transport/TransferThread.h"

#include "http/transport/ReadStream.h"

#include <curl/curl.h>

#include <algorithm>

namespace {
// Idle connections kept for reuse: room for a few servers beyond the queue's four at once.
constexpr long kMaxConnects = 16;
// curl_multi_poll returns sooner for curl's own timers and for a queued change.
constexpr int kLongestWaitMs = 60 * 1000;
}  // namespace

TransferThread &TransferThread::shared() {
    static TransferThread thread;
    return thread;
}

TransferThread::TransferThread() : mMulti(curl_multi_init()) {
    curl_multi_setopt(mMulti, CURLMOPT_MAXCONNECTS, kMaxConnects);
    mThread = std::thread([this] { run(); });
}

TransferThread::~TransferThread() {
    {
        std::lock_guard lock(mMutex);
        mStopping = true;
    }
    curl_multi_wakeup(mMulti);
    mThread.join();
    // Streams that outlive the process's last transfer hear of no more events.
    while (!mTransfers.empty()) {
        detach(mTransfers.back().get());
    }
    curl_multi_cleanup(mMulti);
}

void TransferThread::add(std::shared_ptr<ReadStream> stream) {
    queue({Change::Add, std::move(stream)});
}

void TransferThread::remove(std::shared_ptr<ReadStream> stream) {
    queue({Change::Remove, std::move(stream)});
}

void TransferThread::resume(std::shared_ptr<ReadStream> stream) {
    queue({Change::Resume, std::move(stream)});
}

void TransferThread::queue(Change change) {
    {
        std::lock_guard lock(mMutex);
        mChanges.push_back(std::move(change));
    }
    curl_multi_wakeup(mMulti);
}

void TransferThread::run() {
    for (;;) {
        std::vector<Change> changes;
        {
            std::lock_guard lock(mMutex);
            if (mStopping) {
                return;
            }
            changes.swap(mChanges);
        }
        for (const Change &change : changes) {
            apply(change);
        }
        performTransfers();
        curl_multi_poll(mMulti, nullptr, 0, kLongestWaitMs, nullptr);
    }
}

void TransferThread::apply(const Change &change) {
    ReadStream *stream = change.stream.get();
    const bool transferring = findTransfer(stream) != mTransfers.end();
    switch (change.kind) {
    case Change::Add:
        if (transferring) {
            break;
        }
        if (curl_multi_add_handle(mMulti, stream->easyHandle()) != CURLM_OK) {
            stream->transferDone(CURLE_FAILED_INIT);
            stream->signalEvents();
            break;
        }
        mTransfers.push_back(change.stream);
        break;
    case Change::Remove:
        if (transferring) {
            detach(stream);
        }
        break;
    case Change::Resume:
        if (transferring) {
            curl_easy_pause(stream->easyHandle(), CURLPAUSE_CONT);  // may deliver body at once
        }
        break;
    }
}

std::vector<std::shared_ptr<ReadStream>>::iterator TransferThread::findTransfer(
    const ReadStream *stream) {
    return std::find_if(mTransfers.begin(), mTransfers.end(),
                        [stream](const auto &s) { return s.get() == stream; });
}

void TransferThread::detach(ReadStream *stream) {
    curl_multi_remove_handle(mMulti, stream->easyHandle());
    const auto it = findTransfer(stream);
    // The last hold may be ours: the stream goes after it has left the vector.
    const std::shared_ptr<ReadStream> last = std::move(*it);
    mTransfers.erase(it);
}

void TransferThread::performTransfers() {
    int running = 0;
    curl_multi_perform(mMulti, &running);
    std::vector<std::shared_ptr<ReadStream>> done;
    int left = 0;
    while (CURLMsg *message = curl_multi_info_read(mMulti, &left)) {
        if (message->msg != CURLMSG_DONE) {
            continue;
        }
        ReadStream *stream = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &stream);
        const auto it = findTransfer(stream);
        if (it == mTransfers.end()) {
            continue;
        }
        stream->transferDone(int(message->data.result));
        done.push_back(*it);
        // Out at once: the message points into the handle, and the connection is back in the
        // cache for the next request.
        detach(stream);
    }
    for (const auto &stream : mTransfers) {
        stream->signalEvents();
    }
    for (const auto &stream : done) {
        stream->signalEvents();
    }
}
