#include <gtest/gtest.h>

#include <ctime>

#include "virgin/stamp_time.hpp"

namespace {

TEST(StampTimeTest, MostSignificantByteFirst) {
    unsigned char slot[4] = {};
    stagemark::EncodeStamp(0x01020304u, slot);
    EXPECT_EQ(slot[0], 0x01);
    EXPECT_EQ(slot[1], 0x02);
    EXPECT_EQ(slot[2], 0x03);
    EXPECT_EQ(slot[3], 0x04);
}

TEST(StampTimeTest, TakesTheClockNow) {
    unsigned char slot[4] = {};
    const auto before = static_cast<std::uint32_t>(std::time(nullptr));
    stagemark::StampTime(slot);
    const auto after = static_cast<std::uint32_t>(std::time(nullptr));
    const std::uint32_t stamp = std::uint32_t{slot[0]} << 24 | std::uint32_t{slot[1]} << 16 | std::uint32_t{slot[2]} << 8 | slot[3];
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);
}

}  // namespace
