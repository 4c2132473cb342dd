#include "utc_text.hpp"

#include <chrono>
#include <cstdio>

namespace format {

std::string UtcText(std::int64_t unix_seconds, int milliseconds) {
    using namespace std::chrono;
    const sys_seconds when{seconds{unix_seconds}};
    const auto day = floor<days>(when);
    const year_month_day date{day};
    const hh_mm_ss time{when - day};
    char text[40];
    const int length = std::snprintf(
        text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ld", static_cast<int>(date.year()),
        static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()), static_cast<long>(time.hours().count()),
        static_cast<long>(time.minutes().count()), static_cast<long>(time.seconds().count()));
    if (milliseconds >= 0 && length > 0) {
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), ".%03d", milliseconds);
    }
    return std::string(text) + "Z";
}

std::string StampText(const unsigned char stamp[4]) {
    return UtcText(std::uint32_t{stamp[0]} << 24 | std::uint32_t{stamp[1]} << 16 | std::uint32_t{stamp[2]} << 8 |
                   stamp[3]);
}

std::string UtcNow() {
    using namespace std::chrono;
    const auto now = time_point_cast<milliseconds>(system_clock::now()).time_since_epoch().count();
    return UtcText(now / 1000, static_cast<int>(now % 1000));
}

}  // namespace format
