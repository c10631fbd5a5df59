#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A lock with an integer condition: lockWhenCondition waits until the condition has the given
// value and takes the lock; unlockWithCondition sets a new value and lets the lock go, waking
// the waiters. Any thread.
class ConditionLock {
public:
    explicit ConditionLock(int condition) : mCondition(condition) {}

    int condition() const {
        std::lock_guard guard(mMutex);
        return mCondition;
    }
    void lock() {
        std::unique_lock guard(mMutex);
        mChanged.wait(guard, [this] { return !mLocked; });
        mLocked = true;
    }
    void lockWhenCondition(int condition) {
        std::unique_lock guard(mMutex);
        mChanged.wait(guard, [&] { return !mLocked && mCondition == condition; });
        mLocked = true;
    }
    // False when the condition did not come within `timeout`.
    bool lockWhenCondition(int condition, std::chrono::milliseconds timeout) {
        std::unique_lock guard(mMutex);
        if (!mChanged.wait_for(guard, timeout,
                               [&] { return !mLocked && mCondition == condition; })) {
            return false;
        }
        mLocked = true;
        return true;
    }
    void unlock() {
        {
            std::lock_guard guard(mMutex);
            mLocked = false;
        }
        mChanged.notify_all();
    }
    void unlockWithCondition(int condition) {
        {
            std::lock_guard guard(mMutex);
            mLocked = false;
            mCondition = condition;
        }
        mChanged.notify_all();
    }

private:
    mutable std::mutex mMutex;
    std::condition_variable mChanged;
    int mCondition;
    bool mLocked = false;
};
