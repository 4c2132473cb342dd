// Times on the desk, as UTC text: the trace's and the stamps in its checks.
#pragma once

#include <cstdint>
#include <string>

namespace sim {

// ISO 8601 UTC, for example 2026-12-10T06:42:21Z; with milliseconds when asked.
std::string UtcText(std::int64_t unix_seconds, int milliseconds = -1);

// Now, with milliseconds.
std::string UtcNow();

}  // namespace sim
