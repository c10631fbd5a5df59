#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

// A unit of work that an operation queue runs on one of its threads, or that a caller runs
// directly with main(). Cancellation is a flag the work checks; finished-ness is the work's own.
class Operation {
public:
    virtual ~Operation() = default;

    virtual void main() = 0;
    // Sets the cancelled flag; subclasses end their work and then call this.
    virtual void cancel() { mCancelled.store(true); }
    bool isCancelled() const { return mCancelled.load(); }
    virtual bool isFinished() const = 0;

    // Operations that must have finished (or been cancelled) before this one starts.
    void addDependency(const std::shared_ptr<Operation> &dependency) {
        std::lock_guard lock(mDependencyMutex);
        mDependencies.push_back(dependency);
    }
    bool dependenciesDone() const {
        std::lock_guard lock(mDependencyMutex);
        for (const auto &weak : mDependencies) {
            const auto dependency = weak.lock();
            if (dependency && !dependency->isFinished() && !dependency->isCancelled()) {
                return false;
            }
        }
        return true;
    }

private:
    std::atomic<bool> mCancelled{false};
    mutable std::mutex mDependencyMutex;
    std::vector<std::weak_ptr<Operation>> mDependencies;
};
