#include "platform/OperationQueue.h"

#include <algorithm>

OperationQueue::OperationQueue() = default;

OperationQueue::~OperationQueue() {
    cancelAllOperations();
    {
        std::unique_lock lock(mMutex);
        // What never started is let go; running work ends by its cancellation.
        std::erase_if(mEntries, [](const Entry &entry) { return !entry.running; });
        mChanged.wait(lock, [this] { return mRunning == 0; });
    }
    for (Worker &worker : mWorkers) {
        worker.thread.join();
    }
}

void OperationQueue::addOperation(std::shared_ptr<Operation> operation, int queuePriority) {
    if (!operation) {
        return;
    }
    std::lock_guard lock(mMutex);
    mEntries.push_back({std::move(operation), queuePriority, mNextOrder++});
    startReady();
}

void OperationQueue::addDependency(const std::shared_ptr<Operation> &operation,
                                   const std::shared_ptr<Operation> &dependency) {
    operation->addDependency(dependency);
}

void OperationQueue::setMaxConcurrentOperationCount(int count) {
    std::lock_guard lock(mMutex);
    mMaxConcurrent = count;
    startReady();
}

int OperationQueue::maxConcurrentOperationCount() const {
    std::lock_guard lock(mMutex);
    return mMaxConcurrent;
}

void OperationQueue::setSuspended(bool suspended) {
    std::lock_guard lock(mMutex);
    mSuspended = suspended;
    startReady();
}

bool OperationQueue::isSuspended() const {
    std::lock_guard lock(mMutex);
    return mSuspended;
}

void OperationQueue::cancelAllOperations() {
    std::vector<std::shared_ptr<Operation>> toCancel;
    {
        std::lock_guard lock(mMutex);
        // Waiting work leaves the queue at once, so that a running operation that ends while
        // we cancel cannot start it.
        for (const Entry &entry : mEntries) {
            toCancel.push_back(entry.operation);
        }
        std::erase_if(mEntries, [](const Entry &entry) { return !entry.running; });
        if (mEntries.empty()) {
            mChanged.notify_all();
        }
    }
    // Outside the lock: an operation's cancel may call back into the queue.
    for (const auto &operation : toCancel) {
        if (!operation->isFinished()) {
            operation->cancel();
        }
    }
}

std::vector<std::shared_ptr<Operation>> OperationQueue::operations() const {
    std::lock_guard lock(mMutex);
    std::vector<std::shared_ptr<Operation>> list;
    for (const Entry &entry : mEntries) {
        list.push_back(entry.operation);
    }
    return list;
}

int OperationQueue::operationCount() const {
    std::lock_guard lock(mMutex);
    return int(mEntries.size());
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(mMutex);
    mChanged.wait(lock, [this] { return mEntries.empty(); });
}

void OperationQueue::startReady() {
    // A cancelled operation that never started is dropped: it has nothing left to do.
    std::erase_if(mEntries, [](const Entry &entry) {
        return !entry.running && entry.operation->isCancelled();
    });
    if (mEntries.empty()) {
        mChanged.notify_all();
    }
    while (!mSuspended && (mMaxConcurrent < 0 || mRunning < mMaxConcurrent)) {
        Entry *next = nullptr;
        for (Entry &entry : mEntries) {
            if (entry.running || !entry.operation->dependenciesDone()) {
                continue;
            }
            if (!next || entry.priority > next->priority ||
                (entry.priority == next->priority && entry.order < next->order)) {
                next = &entry;
            }
        }
        if (!next) {
            return;
        }
        next->running = true;
        ++mRunning;
        std::erase_if(mWorkers, [](Worker &worker) {
            if (!worker.done->load()) {
                return false;
            }
            worker.thread.join();  // it has let go of the queue already
            return true;
        });
        auto done = std::make_shared<std::atomic<bool>>(false);
        mWorkers.push_back(
            {std::thread([this, operation = next->operation, done] { run(operation, done); }),
             done});
    }
}

void OperationQueue::run(std::shared_ptr<Operation> operation,
                         std::shared_ptr<std::atomic<bool>> done) {
    operation->main();
    {
        std::lock_guard lock(mMutex);
        std::erase_if(mEntries,
                      [&operation](const Entry &entry) { return entry.operation == operation; });
        --mRunning;
        operation.reset();
        startReady();  // dependants and waiting work may go now
        mChanged.notify_all();
    }
    done->store(true);
}
