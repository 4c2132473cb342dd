#include "stamp_time.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <ctime>
#endif

namespace stagemark {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kFileTimeToUnixSeconds = 11'644'473'600;

}  // namespace

void EncodeStamp(std::uint32_t seconds, unsigned char slot[4]) {
    slot[0] = static_cast<unsigned char>(seconds >> 24);
    slot[1] = static_cast<unsigned char>(seconds >> 16);
    slot[2] = static_cast<unsigned char>(seconds >> 8);
    slot[3] = static_cast<unsigned char>(seconds);
}

std::int64_t UnixSecondsFromFileTime(std::uint64_t ticks) {
    return static_cast<std::int64_t>(ticks / kTicksPerSecond) - kFileTimeToUnixSeconds;
}

#ifdef _WIN32
// Not the C library's time(): on this target it is 32 bits, fails from 2038 on, and
// asks for the time zone on every call.
std::int64_t UnixSecondsNow() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return UnixSecondsFromFileTime(std::uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime);
}
#else
static_assert(sizeof(std::time_t) == 8, "the clock must be read as 64 bits");
std::int64_t UnixSecondsNow() { return static_cast<std::int64_t>(std::time(nullptr)); }
#endif

void StampTime(unsigned char slot[4]) { EncodeStamp(StampSeconds(UnixSecondsNow()), slot); }

}  // namespace stagemark
