#include "XPointRangeMap.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(XPointRangeMapOrder, IteratesFromTheLargestUpperEndAndIgnoresTheLowerEndAsKey) {
    XPointRangeMap map;
    map.emplace(XPointRange(270, 0), 400);
    map.emplace(XPointRange(1920, 1540), 890);
    map.emplace(XPointRange(350, 270), 500);
    auto again = map.emplace(XPointRange(350, 300), 999);
    EXPECT_FALSE(again.second) << "same upper end: same key";

    std::vector<int> uppers, values;
    for (const auto& entry : map) {
        uppers.push_back(entry.first.first);
        values.push_back(entry.second);
    }
    EXPECT_EQ(uppers, (std::vector<int>{1920, 350, 270}));
    EXPECT_EQ(values, (std::vector<int>{890, 500, 400}));
    EXPECT_EQ(map.size(), 3u);
}

TEST(XPointRangeMapLookup, LowerEndInclusiveUpperEndExclusive) {
    XPointRangeMap map;
    map.emplace(XPointRange(270, 0), 400);
    map.emplace(XPointRange(350, 270), 500);
    int value = -1;
    ASSERT_TRUE(map.Lookup(270, value));
    EXPECT_EQ(value, 500);
    ASSERT_TRUE(map.Lookup(269, value));
    EXPECT_EQ(value, 400);
    ASSERT_TRUE(map.Lookup(0, value));
    EXPECT_EQ(value, 400);

    value = 77;
    EXPECT_FALSE(map.Lookup(350, value)) << "the largest upper end itself matches nothing";
    EXPECT_FALSE(map.Lookup(-1, value));
    EXPECT_EQ(value, 77) << "a miss leaves the caller's value";
}

TEST(XPointRangeMapLookup, FractionalCoordinatesAndGaps) {
    XPointRangeMap map;
    map.emplace(XPointRange(300, 290), 2);
    map.emplace(XPointRange(310, 305), -2);
    int value = 0;
    EXPECT_TRUE(map.Lookup(299.9, value));
    EXPECT_EQ(value, 2);
    EXPECT_FALSE(map.Lookup(300.0, value));
    EXPECT_FALSE(map.Lookup(304.99, value));
    EXPECT_TRUE(map.Lookup(305.0, value));
    EXPECT_EQ(value, -2);
}

TEST(XPointRangeMapLookup, OverlappingRangesTakeTheFirstInMapOrder) {
    XPointRangeMap map;
    map.emplace(XPointRange(100, 0), 1);
    map.emplace(XPointRange(200, 50), 2);
    int value = 0;
    ASSERT_TRUE(map.Lookup(60, value));
    EXPECT_EQ(value, 2);
    ASSERT_TRUE(map.Lookup(10, value));
    EXPECT_EQ(value, 1);
}

}  // namespace
