#include "utc_time.hpp"

#include <chrono>
#include <cstdio>

namespace tool {

std::string UtcText(std::uint32_t seconds) {
    // The calendar of 64-bit system time, whatever width the C library's time_t has.
    using namespace std::chrono;
    const sys_seconds when{std::chrono::seconds{seconds}};
    const auto day = floor<days>(when);
    const year_month_day date{day};
    const hh_mm_ss time{when - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ldZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                  static_cast<long>(time.seconds().count()));
    return text;
}

std::string StampText(const unsigned char stamp[4]) {
    return UtcText(std::uint32_t{stamp[0]} << 24 | std::uint32_t{stamp[1]} << 16 | std::uint32_t{stamp[2]} << 8 |
                   stamp[3]);
}

}  // namespace tool
