#pragma once

#include "platform/Operation.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Runs operations on worker threads: at most maxConcurrentOperationCount at once, none while
// suspended, higher queue priority first (then in the order added), and an operation only once
// every operation it depends on has finished. The queue keeps each operation alive until it has
// run (or was cancelled before it started). Any thread.
class OperationQueue {
public:
    OperationQueue();
    virtual ~OperationQueue();  // cancels what has not started and waits for the running ones
    OperationQueue(const OperationQueue &) = delete;
    OperationQueue &operator=(const OperationQueue &) = delete;

    void addOperation(std::shared_ptr<Operation> operation, int queuePriority = 0);
    // `operation` starts only after `dependency` has finished (or was cancelled).
    static void addDependency(const std::shared_ptr<Operation> &operation,
                              const std::shared_ptr<Operation> &dependency);

    void setMaxConcurrentOperationCount(int count);
    int maxConcurrentOperationCount() const;
    void setSuspended(bool suspended);
    bool isSuspended() const;
    // Cancels every operation not yet finished.
    virtual void cancelAllOperations();
    // Operations added and not yet finished.
    std::vector<std::shared_ptr<Operation>> operations() const;
    int operationCount() const;
    // Blocks until every operation has ended (a suspended queue with waiting work blocks).
    void waitUntilAllOperationsAreFinished();

private:
    struct Entry {
        std::shared_ptr<Operation> operation;
        int priority;
        unsigned long long order;
        bool running = false;
    };
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;  // set as the thread's last act
    };
    void startReady();  // with mMutex held
    void run(std::shared_ptr<Operation> operation, std::shared_ptr<std::atomic<bool>> done);

    mutable std::mutex mMutex;
    std::condition_variable mChanged;
    std::vector<Entry> mEntries;   // waiting and running
    std::vector<Worker> mWorkers;  // finished ones are joined as new ones start
    int mMaxConcurrent = -1;       // -1: no limit
    int mRunning = 0;
    bool mSuspended = false;
    unsigned long long mNextOrder = 0;
};
