#pragma once

#include <atomic>

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

private:
    std::atomic<bool> mCancelled{false};
};
