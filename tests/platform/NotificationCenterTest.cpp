#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

TEST(NotificationCenter, DeliversInsidePostToObserversOfThatNameOnly) {
    NotificationCenter center;
    std::vector<int> delivered;
    int a = 0, b = 0;
    center.addObserver(&a, "AccelerationUpdate", [&](const NotificationCenter::Notification &n) {
        delivered.push_back(std::any_cast<int>(n.object));
    });
    center.addObserver(&b, "Other", [&](const auto &) { delivered.push_back(-1); });
    center.post("AccelerationUpdate", 7);
    EXPECT_EQ(delivered, std::vector<int>{7});  // already there when post returns
    center.removeObserver(&a);
    center.post("AccelerationUpdate", 8);
    EXPECT_EQ(delivered, std::vector<int>{7});
    EXPECT_EQ(center.observerCount("Other"), 1);
}
