// A stamp as a calendar time: Unix seconds (UTC) held as an unsigned 32-bit count, so
// valid to 2106 on every target, whatever width the C library's time_t has.
#pragma once

#include <cstdint>
#include <string>

namespace tool {

// ISO 8601 UTC, for example 2038-01-19T03:14:08Z.
std::string UtcText(std::uint32_t seconds);

// A record's four-byte stamp, most significant byte first, as UTC text.
std::string StampText(const unsigned char stamp[4]);

}  // namespace tool
