#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ctime>

#include "virgin/stamp_time.hpp"

namespace {

std::uint32_t Decoded(const unsigned char slot[4]) {
    return std::uint32_t{slot[0]} << 24 | std::uint32_t{slot[1]} << 16 | std::uint32_t{slot[2]} << 8 | slot[3];
}

TEST(StampTimeTest, MostSignificantByteFirst) {
    unsigned char slot[4] = {};
    stagemark::EncodeStamp(0x01020304u, slot);
    EXPECT_EQ(slot[0], 0x01);
    EXPECT_EQ(slot[1], 0x02);
    EXPECT_EQ(slot[2], 0x03);
    EXPECT_EQ(slot[3], 0x04);
}

// Windows clock readings (100 ns ticks since 1601) across the 32-bit C clock's end in
// 2038, up to the last second a stamp can hold.
struct ClockCase {
    const char* utc;
    std::uint64_t file_time_ticks;
    std::array<unsigned char, 4> stamp;
};

constexpr std::uint64_t Ticks(std::uint64_t unix_seconds) { return (unix_seconds + 11'644'473'600ull) * 10'000'000ull; }

class ClockAcrossTheYears : public ::testing::TestWithParam<ClockCase> {};

TEST_P(ClockAcrossTheYears, StampKeepsTheLow32Bits) {
    const ClockCase& c = GetParam();
    unsigned char slot[4] = {};
    // A tick short of the next second still stamps this second.
    stagemark::EncodeStamp(stagemark::StampSeconds(stagemark::UnixSecondsFromFileTime(c.file_time_ticks + 9'999'999)),
                           slot);
    EXPECT_EQ((std::array<unsigned char, 4>{slot[0], slot[1], slot[2], slot[3]}), c.stamp) << c.utc;
}

INSTANTIATE_TEST_SUITE_P(Dates, ClockAcrossTheYears,
                         ::testing::Values(ClockCase{"1970-01-01T00:00:00Z", Ticks(0), {0x00, 0x00, 0x00, 0x00}},
                                           ClockCase{"2038-01-19T03:14:07Z", Ticks(0x7FFFFFFF), {0x7F, 0xFF, 0xFF, 0xFF}},
                                           ClockCase{"2038-01-19T03:14:08Z", Ticks(0x80000000), {0x80, 0x00, 0x00, 0x00}},
                                           ClockCase{"2100-01-01T00:00:00Z", Ticks(4102444800), {0xF4, 0x86, 0x57, 0x00}},
                                           ClockCase{"2106-02-07T06:28:15Z", Ticks(0xFFFFFFFF), {0xFF, 0xFF, 0xFF, 0xFF}},
                                           ClockCase{"2106-02-07T06:28:16Z (wraps)", Ticks(0x100000000), {0, 0, 0, 0}}));

TEST(StampTimeTest, TakesTheClockNowAsTheCLibrarySeesIt) {
    unsigned char slot[4] = {};
    const auto before = static_cast<std::uint32_t>(std::time(nullptr));
    stagemark::StampTime(slot);
    const auto after = static_cast<std::uint32_t>(std::time(nullptr));
    // The two clocks may round a second differently.
    EXPECT_GE(Decoded(slot) + 1, before);
    EXPECT_LE(Decoded(slot), after + 1);
}

}  // namespace
