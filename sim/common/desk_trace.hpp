// The desk's trace: every call that station programs made on the desk, across processes,
// oldest first, with the checks that caught a station's mistakes. Bounded to the most
// recent lines.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "regular_file.hpp"

namespace sim {

inline constexpr std::size_t kTraceKept = 10000;

struct TraceLine {
    std::string time;  // UTC, ISO 8601 with milliseconds
    long pid = 0;
    int port = -1;       // -1: no link was open
    std::string op;      // an operation's name, or "check"
    int result = 0;      // the call's result; 0 for a check
    unsigned bytes = 0;  // record bytes moved over the link
    std::string detail;  // the arguments, or what the check found and what to do
};

long ProcessId();

// A line stamped now, for this process.
TraceLine NewTraceLine(int port, const std::string& op);

// Appends the line under the desk's lock, and keeps the last kTraceKept lines.
bool AppendTrace(const TraceLine& line);

struct Trace {
    FileRead status = FileRead::Missing;
    std::vector<TraceLine> lines;
    std::size_t damaged = 0;  // lines that could not be read
};

Trace ReadTrace();
bool ClearTrace();

// The serial link's time for the bytes at 115200 baud, 8N1: ten bits a byte.
inline double LinkMilliseconds(unsigned bytes) { return bytes * 10.0 / 115200.0 * 1000.0; }

}  // namespace sim
