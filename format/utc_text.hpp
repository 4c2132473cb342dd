// Times as the tool and the desk show them: ISO 8601 in UTC.
#pragma once

#include <cstdint>
#include <string>

namespace format {

// 2026-12-10T06:42:21Z, or 2026-12-10T06:42:21.123Z when milliseconds >= 0. The
// calendar is 64-bit whatever width the C library's time_t has, so a stamp reads
// right to 2106 on every station PC.
std::string UtcText(std::int64_t unix_seconds, int milliseconds = -1);

// A record's four-byte stamp, most significant byte first.
std::string StampText(const unsigned char stamp[4]);

// The clock now, to the millisecond.
std::string UtcNow();

}  // namespace format
