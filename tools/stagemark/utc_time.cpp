#include "utc_time.hpp"

#include <cstdio>

namespace tool {

std::string UtcText(std::uint32_t seconds) {
    // Days since 1970 to a civil date, counted in 400-year eras from 0000-03-01.
    const std::int64_t days = seconds / 86400;
    const std::int64_t second_of_day = seconds % 86400;
    const std::int64_t shifted = days + 719468;
    const std::int64_t era = shifted / 146097;
    const std::int64_t day_of_era = shifted - era * 146097;
    const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t month_index = (5 * day_of_year + 2) / 153;  // March is 0
    const std::int64_t day = day_of_year - (153 * month_index + 2) / 5 + 1;
    const std::int64_t month = month_index < 10 ? month_index + 3 : month_index - 9;
    const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
    char text[32];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(second_of_day / 3600), static_cast<long long>(second_of_day / 60 % 60),
                  static_cast<long long>(second_of_day % 60));
    return text;
}

}  // namespace tool
