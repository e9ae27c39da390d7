#include "SharedDataStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "SharedResourceCompare.h"

namespace {

class SharedDataStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { store.Set(SharedResource{}, SHARED_RESOURCE_ALL); }
    SharedResource Read() const {
        SharedResource r;
        store.Get(r);
        return r;
    }
    SharedDataStore& store = SharedDataStore::GetInstance();
};

TEST_F(SharedDataStoreTest, IsOneInstanceWithTheHostDefaults) {
    EXPECT_EQ(&SharedDataStore::GetInstance(), &store);
    SharedResource r = Read();
    EXPECT_TRUE(r.member14);
    EXPECT_EQ(r.member9.width, 1920);
    EXPECT_EQ(r.member9.height, 1080);
    EXPECT_EQ(r.member9.value, 8000);
    EXPECT_FLOAT_EQ(r.member9.frameRate, 60.0f);
    EXPECT_EQ(r.member9.value2, 60);
    EXPECT_EQ(r.member10.value, 60);
    EXPECT_EQ(r.member10.value2, 0);
    EXPECT_EQ(r.member2, 0);
    EXPECT_EQ(r.member12, 0);
    EXPECT_EQ(r.member8[3], 0);
    EXPECT_EQ(r.member11[5], 0);
}

TEST_F(SharedDataStoreTest, SetCopiesOnlyTheSelectedMember) {
    SharedResource in;
    in.member2 = 2, in.member3 = 3, in.member4 = 4, in.member5 = 5, in.member6 = 6, in.member7 = 7;
    for (int i = 0; i < 4; ++i)
        in.member8[i] = 80 + i;
    in.member9.value = 9;
    in.member10.value2 = 10;
    for (int i = 0; i < 6; ++i)
        in.member11[i] = 110 + i;
    in.member12 = 12, in.member13 = 13, in.member14 = false, in.member15 = 15;

    SharedResource expected;
    store.Set(in, SHARED_RESOURCE_MEMBER8);
    for (int i = 0; i < 4; ++i)
        expected.member8[i] = 80 + i;
    ExpectSameRecord(expected, Read());

    store.Set(in, SHARED_RESOURCE_MEMBER14);
    expected.member14 = false;
    ExpectSameRecord(expected, Read());

    store.Set(in, SHARED_RESOURCE_MEMBER3);
    store.Set(in, SHARED_RESOURCE_MEMBER13);
    expected.member3 = 3, expected.member13 = 13;
    ExpectSameRecord(expected, Read());

    store.Set(in, SHARED_RESOURCE_ALL);
    ExpectSameRecord(in, Read());
}

TEST_F(SharedDataStoreTest, MemberNumbersOutsideTheRangeWriteNothing) {
    SharedResource in;
    in.member2 = 99;
    in.member14 = false;
    for (int m : {0, 16, -1, 1000}) {
        store.Set(in, static_cast<SharedResourceMember>(m));
    }
    ExpectSameRecord(SharedResource{}, Read());
}

// Writers mirror different members concurrently through read-modify-write, as
// the bus does; readers must never see a member half-written, and no writer may
// undo another's member.
TEST_F(SharedDataStoreTest, ConcurrentReadModifyWriteKeepsMembersWholeAndIndependent) {
    constexpr int kRounds = 3000;
    std::atomic<bool> torn{false};
    std::atomic<bool> stop{false};

    auto writer8 = [&] {
        for (int i = 1; i <= kRounds; ++i) {
            SharedResource copy;
            store.Get(copy);
            for (int& v : copy.member8)
                v = i;
            store.Set(copy, SHARED_RESOURCE_MEMBER8);
        }
    };
    auto writer11 = [&] {
        for (int i = 1; i <= kRounds; ++i) {
            SharedResource copy;
            store.Get(copy);
            for (int& v : copy.member11)
                v = -i;
            store.Set(copy, SHARED_RESOURCE_MEMBER11);
        }
    };
    auto reader = [&] {
        while (!stop.load()) {
            SharedResource r = Read();
            for (int k = 1; k < 4; ++k)
                torn = torn || r.member8[k] != r.member8[0];
            for (int k = 1; k < 6; ++k)
                torn = torn || r.member11[k] != r.member11[0];
        }
    };
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back(reader);
    std::thread w1(writer8), w2(writer11);
    w1.join();
    w2.join();
    stop = true;
    for (auto& t : readers)
        t.join();

    EXPECT_FALSE(torn.load());
    SharedResource r = Read();
    EXPECT_EQ(r.member8[0], kRounds);
    EXPECT_EQ(r.member11[0], -kRounds);
}

}  // namespace
