#include "server/AdmissionQueue.h"

namespace {
thread_local bool tRefusing = false;
}  // namespace

AdmissionQueue::AdmissionQueue(int threads, int maxConnections) : mMaxConnections(maxConnections) {
    for (int i = 0; i < threads; ++i) {
        mThreads.emplace_back([this] { work(); });
    }
}

AdmissionQueue::~AdmissionQueue() { shutdown(); }

void AdmissionQueue::enqueue(std::function<void()> fn) {
    {
        std::lock_guard lock(mMutex);
        if (mConnections < mMaxConnections) {
            ++mConnections;
            mTasks.push_back(std::move(fn));
            mWake.notify_one();
            return;
        }
    }
    tRefusing = true;
    fn();
    tRefusing = false;
}

void AdmissionQueue::shutdown() {
    {
        std::lock_guard lock(mMutex);
        mShuttingDown = true;
    }
    mWake.notify_all();
    for (std::thread &thread : mThreads) {
        if (thread.joinable()) {
            thread.join();
        }
    }
}

bool AdmissionQueue::refusing() { return tRefusing; }

int AdmissionQueue::connections() const {
    std::lock_guard lock(mMutex);
    return mConnections;
}

void AdmissionQueue::work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mMutex);
            // Connections already accepted are served to their end before the threads stop.
            mWake.wait(lock, [this] { return mShuttingDown || !mTasks.empty(); });
            if (mTasks.empty()) {
                return;
            }
            task = std::move(mTasks.front());
            mTasks.pop_front();
        }
        task();
        std::lock_guard lock(mMutex);
        --mConnections;
    }
}
