// Field-by-field comparison of two store records (padding bytes are not part of the record).
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <vector>

#include "SharedDataStore.h"

// Every field, bytes as numbers, so that a failure prints both records readably.
inline auto RecordFields(const SharedResource& r) {
    const VideoInputEventInfo& in = r.member9;
    const VideoDecodeEventInfo& de = r.member10;
    return std::make_tuple(
        r.member2, +r.member3, r.member4, +r.member5, +r.member6, +r.member7,
        std::vector<int32_t>(r.member8, r.member8 + 4), in.width, in.height, +in.flag, in.value, in.frameRate,
        in.value2, de.width, de.height, +de.flag, de.value, de.frameRate, +de.flag2, de.value2,
        std::vector<int32_t>(r.member11, r.member11 + 6), +r.member12, +r.member13, r.member14, +r.member15);
}

inline void ExpectSameRecord(const SharedResource& e, const SharedResource& a) {
    EXPECT_EQ(RecordFields(e), RecordFields(a));
}
