// Time stamps: Unix seconds (UTC since 1970), low 32 bits, most significant byte first.
// The low 32 bits run to 2106-02-07T06:28:15Z before they wrap.
#pragma once

#include <cstdint>

namespace stagemark {

void EncodeStamp(std::uint32_t seconds, unsigned char slot[4]);

// Windows keeps the system clock as 100 ns ticks since 1601-01-01 UTC.
std::int64_t UnixSecondsFromFileTime(std::uint64_t ticks);

// The stamp a clock reading becomes: its low 32 bits, so 2038 is no limit.
constexpr std::uint32_t StampSeconds(std::int64_t unix_seconds) { return static_cast<std::uint32_t>(unix_seconds); }

// The system clock in Unix seconds, read as 64 bits on every target.
std::int64_t UnixSecondsNow();

// Reads the clock once and stores it in the four-byte slot.
void StampTime(unsigned char slot[4]);

}  // namespace stagemark
