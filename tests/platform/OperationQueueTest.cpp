#include "platform/OperationQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Records the order operations ran in and how many ran at once; each one waits for `release`.
struct Journal {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> started;
    int running = 0;
    int mostAtOnce = 0;
    bool released = false;

    void release() {
        std::lock_guard lock(mutex);
        released = true;
        changed.notify_all();
    }
    bool waitForStarts(size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5),
                                [&] { return started.size() >= count; });
    }
};

class Step : public Operation {
public:
    Step(Journal &journal, std::string name) : mJournal(journal), mName(std::move(name)) {}
    void main() override {
        std::unique_lock lock(mJournal.mutex);
        mJournal.started.push_back(mName);
        mJournal.mostAtOnce = std::max(mJournal.mostAtOnce, ++mJournal.running);
        mJournal.changed.notify_all();
        mJournal.changed.wait(lock, [this] { return mJournal.released || isCancelled(); });
        --mJournal.running;
        mFinished = true;
    }
    void cancel() override {
        Operation::cancel();
        std::lock_guard lock(mJournal.mutex);
        mJournal.changed.notify_all();
    }
    bool isFinished() const override { return mFinished; }

private:
    Journal &mJournal;
    std::string mName;
    std::atomic<bool> mFinished{false};
};

TEST(OperationQueue, RunsAtMostTheLimitAtOnce) {
    Journal journal;
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(2);
    for (int i = 0; i < 6; ++i) {
        queue.addOperation(std::make_shared<Step>(journal, std::to_string(i)));
    }
    ASSERT_TRUE(journal.waitForStarts(2));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(journal.started.size(), 2u);
    journal.release();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(journal.started.size(), 6u);
    EXPECT_EQ(journal.mostAtOnce, 2);
    EXPECT_EQ(queue.operationCount(), 0);
}

TEST(OperationQueue, HoldsWorkWhileSuspendedThenRunsByPriorityAndDependency) {
    Journal journal;
    journal.released = true;
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(1);
    queue.setSuspended(true);
    auto a = std::make_shared<Step>(journal, "a");
    auto b = std::make_shared<Step>(journal, "b");
    auto c = std::make_shared<Step>(journal, "c");
    auto d = std::make_shared<Step>(journal, "d");
    OperationQueue::addDependency(b, d);  // b waits for d, which comes later and lower
    queue.addOperation(a);
    queue.addOperation(b, 10);
    queue.addOperation(c, 5);
    queue.addOperation(d);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(journal.started.empty());
    queue.setSuspended(false);
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(journal.started, (std::vector<std::string>{"c", "a", "d", "b"}));
}

TEST(OperationQueue, CancelAllEndsRunningWorkAndDropsWaitingWork) {
    Journal journal;
    OperationQueue queue;
    queue.setMaxConcurrentOperationCount(1);
    auto running = std::make_shared<Step>(journal, "running");
    auto waiting = std::make_shared<Step>(journal, "waiting");
    queue.addOperation(running);
    queue.addOperation(waiting);
    ASSERT_TRUE(journal.waitForStarts(1));
    queue.cancelAllOperations();
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_TRUE(running->isCancelled());
    EXPECT_TRUE(waiting->isCancelled());
    EXPECT_EQ(journal.started, std::vector<std::string>{"running"});  // the waiting one never ran
}

}  // namespace
