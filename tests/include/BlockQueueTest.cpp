#include "BlockQueue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<milliseconds>(Clock::now() - since).count());
}

std::vector<std::string> Drain(BlockQueue<std::string>& q) {
    std::vector<std::string> out;
    std::string s;
    while (q.Take(s, 0) == 0)
        out.push_back(s);
    return out;
}

TEST(BlockQueueOrder, NormalItemsKeepArrivalOrderAndPriorityItemsJumpAhead) {
    BlockQueue<std::string> q(10);
    EXPECT_EQ(q.Push("P", 0, 0), 0);
    EXPECT_EQ(q.Push("Q", 0, 0), 0);
    EXPECT_EQ(q.Push("R", 0, 1), 0);
    EXPECT_EQ(Drain(q), (std::vector<std::string>{"R", "P", "Q"}));

    q.Push("a", 0, 0);
    q.Push("b", 0, 5);
    q.Push("c", 0, 1);
    EXPECT_EQ(Drain(q), (std::vector<std::string>{"c", "b", "a"})) << "the later priority item leaves first";
}

TEST(BlockQueueOrder, NegativePriorityIsRefusedWithAMessage) {
    BlockQueue<std::string> q(10);
    testing::internal::CaptureStderr();
    EXPECT_EQ(q.Push("x", 0, -1), -3);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Failed to push, error parameters, priority must be greater than or equal to zero\n");
    std::string out;
    EXPECT_EQ(q.Take(out, 0), -1) << "nothing was inserted";
}

TEST(BlockQueueFull, FullQueueRefusesOrTimesOut) {
    BlockQueue<int> q(2);
    ASSERT_EQ(q.Push(1, 0, 0), 0);
    ASSERT_EQ(q.Push(2, 0, 0), 0);
    EXPECT_EQ(q.Push(3, 0, 0), -1);
    auto start = Clock::now();
    EXPECT_EQ(q.Push(3, 50, 0), -2);
    EXPECT_GE(ElapsedMs(start), 45);
    int v = 0;
    EXPECT_EQ(q.Take(v, 0), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(q.Take(v, 0), 0);
    EXPECT_EQ(v, 2);
    EXPECT_EQ(q.Take(v, 0), -1);
}

TEST(BlockQueueFull, CapacityZeroIsAlwaysFull) {
    BlockQueue<int> q(0);
    EXPECT_EQ(q.Push(1, 0, 0), -1);
    EXPECT_EQ(q.Push(1, 10, 1), -2);
    int v = 0;
    EXPECT_EQ(q.Take(v, 0), -1);
}

TEST(BlockQueueFull, BlockedPushWithoutLimitGoesInOnceRoomAppears) {
    BlockQueue<int> q(1);
    q.Push(1, 0, 0);
    auto pusher = std::async(std::launch::async, [&] { return q.Push(2, -1, 0); });
    EXPECT_EQ(pusher.wait_for(milliseconds(50)), std::future_status::timeout);
    int v = 0;
    EXPECT_EQ(q.Take(v, 0), 0);
    EXPECT_EQ(pusher.get(), 0);
    EXPECT_EQ(q.Take(v, 0), 0);
    EXPECT_EQ(v, 2);
}

TEST(BlockQueueEmpty, TimedTakeEndsAfterOneWaitEvenWhenAnItemArrives) {
    BlockQueue<int> q(4);
    int v = -7;
    auto start = Clock::now();
    EXPECT_EQ(q.Take(v, 30), -2);
    EXPECT_GE(ElapsedMs(start), 25);
    EXPECT_EQ(v, -7) << "out stays untouched";

    std::thread producer([&] {
        std::this_thread::sleep_for(milliseconds(10));
        q.Push(42, 0, 0);
    });
    start = Clock::now();
    EXPECT_EQ(q.Take(v, 2000), -2);
    EXPECT_LT(ElapsedMs(start), 1500) << "the push ends the wait early";
    producer.join();
    EXPECT_EQ(q.Take(v, 0), 0);
    EXPECT_EQ(v, 42);
}

TEST(BlockQueueEmpty, TakeWithoutLimitReturnsThePushedItem) {
    BlockQueue<std::shared_ptr<int>> q(4);
    auto item = std::make_shared<int>(5);
    std::thread producer([&] {
        std::this_thread::sleep_for(milliseconds(20));
        q.Push(item, 0, 0);
    });
    std::shared_ptr<int> out;
    EXPECT_EQ(q.Take(out, -1), 0);
    producer.join();
    EXPECT_EQ(out, item);
    EXPECT_EQ(item.use_count(), 2) << "the queue kept no copy after the take";
}

TEST(BlockQueueAbort, AbortWakesABlockedTakeAndRefusesEverythingAfter) {
    BlockQueue<std::function<void()>> q(4);
    auto taker = std::async(std::launch::async, [&] {
        std::function<void()> f;
        return q.Take(f, -1);
    });
    EXPECT_EQ(taker.wait_for(milliseconds(50)), std::future_status::timeout);
    q.RequestAbort();
    ASSERT_EQ(taker.wait_for(milliseconds(2000)), std::future_status::ready);
    EXPECT_EQ(taker.get(), -1);
    EXPECT_EQ(q.Push([] {}, 0, 0), -1);
    EXPECT_EQ(q.Push([] {}, -1, 0), -1);
    std::function<void()> f;
    EXPECT_EQ(q.Take(f, -1), -1);
}

TEST(BlockQueueAbort, AbortWakesABlockedPushAndLeftoverItemsAreNeverRun) {
    int runs = 0;
    {
        BlockQueue<std::function<void()>> q(1);
        q.Push([&] { ++runs; }, 0, 0);
        auto pusher = std::async(std::launch::async, [&] { return q.Push([&] { ++runs; }, -1, 0); });
        EXPECT_EQ(pusher.wait_for(milliseconds(50)), std::future_status::timeout);
        q.RequestAbort();
        ASSERT_EQ(pusher.wait_for(milliseconds(2000)), std::future_status::ready);
        EXPECT_EQ(pusher.get(), -1);
        std::function<void()> f;
        EXPECT_EQ(q.Take(f, 0), -1) << "items remain but the queue is aborted";
    }
    EXPECT_EQ(runs, 0);
}

TEST(BlockQueueConcurrency, ManyProducersOneConsumerLoseNothing) {
    BlockQueue<int> q(8);
    constexpr int kPerProducer = 2000;
    std::vector<std::thread> producers;
    for (int p = 0; p < 3; ++p) {
        producers.emplace_back([&q, p] {
            for (int i = 0; i < kPerProducer; ++i)
                ASSERT_EQ(q.Push(p * kPerProducer + i, -1, i % 2), 0);
        });
    }
    std::vector<int> seen(3 * kPerProducer, 0);
    for (int n = 0; n < 3 * kPerProducer; ++n) {
        int v = -1;
        ASSERT_EQ(q.Take(v, -1), 0);
        ++seen.at(v);
    }
    for (auto& t : producers)
        t.join();
    for (int count : seen)
        ASSERT_EQ(count, 1);
}

}  // namespace
