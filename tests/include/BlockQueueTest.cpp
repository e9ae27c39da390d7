#include "BlockQueue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using std::chrono::milliseconds;

// How long the call took, in milliseconds.
template <typename Call>
long Took(Call call) {
    auto start = std::chrono::steady_clock::now();
    call();
    return static_cast<long>(
        std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - start).count());
}

std::string Drain(BlockQueue<std::string>& q) {
    std::string out, s;
    while (q.Take(s, 0) == 0)
        out += s;
    return out;
}

TEST(BlockQueueOrder, ArrivalOrderLaterPriorityItemsFirstAndRefusals) {
    BlockQueue<std::string> q(3);
    EXPECT_EQ(q.Push("P", 0, 0) + q.Push("Q", 0, 0) + q.Push("R", 0, 1), 0);
    EXPECT_EQ(q.Push("S", 0, 0), -1) << "full";
    EXPECT_GE(Took([&] { EXPECT_EQ(q.Push("S", 50, 1), -2); }), 45);
    EXPECT_EQ(Drain(q), "RPQ");
    EXPECT_EQ(q.Push("a", 0, 0) + q.Push("b", 0, 5) + q.Push("c", 0, 1), 0);
    EXPECT_EQ(Drain(q), "cba");
    testing::internal::CaptureStderr();
    EXPECT_EQ(q.Push("x", 0, -1), -3);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to push, error parameters, priority must be greater than or equal to zero\n");
    EXPECT_EQ(Drain(q), "") << "nothing was inserted";
}

TEST(BlockQueueWait, ATimedWaitEndsAfterOneWaitAndAnEndlessOneWhenItCan) {
    BlockQueue<std::shared_ptr<int>> q(1);
    std::shared_ptr<int> out, item = std::make_shared<int>(5);
    EXPECT_GE(Took([&] { EXPECT_EQ(q.Take(out, 30), -2); }), 25);
    EXPECT_EQ(out, nullptr) << "out stays untouched";
    std::thread producer([&] {
        std::this_thread::sleep_for(milliseconds(10));
        q.Push(item, 0, 0);
    });
    EXPECT_LT(Took([&] { EXPECT_EQ(q.Take(out, 2000), -2); }), 1500) << "the push ends the wait, unused";
    producer.join();
    auto pusher = std::async(std::launch::async, [&] { return q.Push(item, -1, 0); });
    EXPECT_EQ(pusher.wait_for(milliseconds(50)), std::future_status::timeout) << "full: the push waits";
    EXPECT_EQ(q.Take(out, -1), 0);
    EXPECT_EQ(pusher.get(), 0);
    EXPECT_EQ(q.Take(out, -1), 0);
    EXPECT_EQ(out, item);
    out.reset();
    EXPECT_EQ(item.use_count(), 1) << "the queue kept no copy after the take";
}

TEST(BlockQueueAbort, AbortWakesBlockedCallsAndRefusesEverythingAfterLeftoversNeverRun) {
    int runs = 0;
    BlockQueue<std::function<void()>> full(1), empty(1);
    std::function<void()> f;
    EXPECT_EQ(full.Push([&] { ++runs; }, 0, 0), 0);
    auto pusher = std::async(std::launch::async, [&] { return full.Push([&] { ++runs; }, -1, 0); });
    auto taker = std::async(std::launch::async, [&] { return empty.Take(f, -1); });
    for (auto* blocked : {&pusher, &taker})
        EXPECT_EQ(blocked->wait_for(milliseconds(50)), std::future_status::timeout);
    full.RequestAbort();
    empty.RequestAbort();
    for (auto* blocked : {&pusher, &taker}) {
        ASSERT_EQ(blocked->wait_for(milliseconds(2000)), std::future_status::ready);
        EXPECT_EQ(blocked->get(), -1);
    }
    EXPECT_EQ(full.Take(f, 0), -1) << "an item remains but the queue is aborted";
    EXPECT_EQ(full.Take(f, -1), -1);
    EXPECT_EQ(full.Push([] {}, -1, 0), -1);
    EXPECT_EQ(runs, 0);
}

TEST(BlockQueueConcurrency, ManyProducersOneConsumerLoseNothing) {
    BlockQueue<int> q(8);
    constexpr int kPerProducer = 2000;
    std::vector<std::thread> producers;
    for (int p = 0; p < 3; ++p)
        producers.emplace_back([&q, p] {
            for (int i = 0; i < kPerProducer; ++i)
                ASSERT_EQ(q.Push(p * kPerProducer + i, -1, i % 2), 0);
        });
    std::vector<int> seen(3 * kPerProducer, 0);
    for (int n = 0, v = -1; n < 3 * kPerProducer; ++n) {
        ASSERT_EQ(q.Take(v, -1), 0);
        ++seen.at(v);
    }
    for (auto& t : producers)
        t.join();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), 3 * kPerProducer);
}

}  // namespace
