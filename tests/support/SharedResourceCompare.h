#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "SharedDataStore.h"

// Field-by-field comparison (padding bytes are not part of the record).
inline void ExpectSameRecord(const SharedResource& e, const SharedResource& a) {
    EXPECT_EQ(e.member2, a.member2);
    EXPECT_EQ(e.member3, a.member3);
    EXPECT_EQ(e.member4, a.member4);
    EXPECT_EQ(e.member5, a.member5);
    EXPECT_EQ(e.member6, a.member6);
    EXPECT_EQ(e.member7, a.member7);
    EXPECT_EQ(std::vector<int32_t>(e.member8, e.member8 + 4), std::vector<int32_t>(a.member8, a.member8 + 4));
    EXPECT_EQ(e.member9.width, a.member9.width);
    EXPECT_EQ(e.member9.height, a.member9.height);
    EXPECT_EQ(e.member9.flag, a.member9.flag);
    EXPECT_EQ(e.member9.value, a.member9.value);
    EXPECT_EQ(e.member9.frameRate, a.member9.frameRate);
    EXPECT_EQ(e.member9.value2, a.member9.value2);
    EXPECT_EQ(e.member10.width, a.member10.width);
    EXPECT_EQ(e.member10.height, a.member10.height);
    EXPECT_EQ(e.member10.flag, a.member10.flag);
    EXPECT_EQ(e.member10.value, a.member10.value);
    EXPECT_EQ(e.member10.frameRate, a.member10.frameRate);
    EXPECT_EQ(e.member10.flag2, a.member10.flag2);
    EXPECT_EQ(e.member10.value2, a.member10.value2);
    EXPECT_EQ(std::vector<int32_t>(e.member11, e.member11 + 6),
              std::vector<int32_t>(a.member11, a.member11 + 6));
    EXPECT_EQ(e.member12, a.member12);
    EXPECT_EQ(e.member13, a.member13);
    EXPECT_EQ(e.member14, a.member14);
    EXPECT_EQ(e.member15, a.member15);
}
