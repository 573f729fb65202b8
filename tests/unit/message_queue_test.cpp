#include <gtest/gtest.h>

#include <thread>

#include "update/message_queue.h"

TEST(MessageQueue, AWakeFromAnotherThreadEndsABlockedWaitWithoutAMessage)
{
    int timers = 0;
    MessageQueue q([&] { ++timers; });
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        q.Wake();
    });
    EXPECT_FALSE(q.DispatchNext());
    t.join();
    q.Wake();  // a wake given before the wait is not lost
    EXPECT_FALSE(q.DispatchNext());
    EXPECT_EQ(timers, 0);
}

TEST(MessageQueue, PostedMessagesComeBeforeTheTimerAndTheTimerFiresWhenDue)
{
    std::vector<std::string> order;
    MessageQueue q([&] { order.push_back("timer"); });
    q.SetTimer1(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    q.Post([&] { order.push_back("posted"); });
    EXPECT_TRUE(q.DispatchNext());
    EXPECT_TRUE(q.DispatchNext());
    EXPECT_EQ(order, (std::vector<std::string>{"posted", "timer"}));
    q.KillTimer1();
    EXPECT_FALSE(q.Timer1Armed());
    EXPECT_FALSE(q.DispatchPending());
}

TEST(MessageQueue, DispatchPendingNeverBlocksAndKeepsAWakeForTheWait)
{
    MessageQueue q([] {});
    q.Wake();
    EXPECT_FALSE(q.DispatchPending());
    EXPECT_FALSE(q.DispatchNext());  // returns at once: the wake is still there
}
