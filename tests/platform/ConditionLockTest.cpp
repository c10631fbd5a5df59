#include "platform/ConditionLock.h"

#include <gtest/gtest.h>

#include <thread>

TEST(ConditionLock, WaitsForItsCondition) {
    ConditionLock lock(1);
    std::thread answer([&lock] {
        lock.lockWhenCondition(1);
        lock.unlockWithCondition(2);  // as a delegate does once it has answered
    });
    lock.lockWhenCondition(2);
    EXPECT_EQ(lock.condition(), 2);
    lock.unlock();
    answer.join();
    EXPECT_FALSE(lock.lockWhenCondition(3, std::chrono::milliseconds(20)));
}
