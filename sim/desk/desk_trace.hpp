// The desk's trace: every call that station programs made on the desk, across processes,
// oldest first, with the checks that caught a station's mistakes. It keeps the latest
// calls in two generations: when the current one grows past its size it becomes the old
// one and the one before is dropped, so a traced call costs the same however much is kept.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "desk_folder.hpp"

namespace desk {

struct TraceLine {
    std::string time;  // UTC, ISO 8601 with milliseconds
    long pid = 0;
    long thread = 0;
    int port = -1;       // -1: the call named no port
    std::string op;      // an operation's name, or "check"
    int result = 0;      // the call's result; 0 for a check
    unsigned bytes = 0;  // record bytes moved over the link
    std::string detail;  // the arguments, or what the check found and what to do
};

// A line stamped now, for this process and thread.
TraceLine NewTraceLine(int port, const std::string& op);

bool AppendTrace(const Folder& folder, const TraceLine& line);

struct Trace {
    FileRead status = FileRead::Missing;  // the worse of the two generations
    std::vector<TraceLine> lines;
    std::size_t damaged = 0;  // lines that could not be read
    bool dropped = false;     // older calls were dropped to keep the trace's size
};

Trace ReadTrace(const Folder& folder);

// The calls of one port: those made there, and the port-less calls (tls, free, a record
// call with no link) of the processes that used it; a process that named no port at all
// shows on every port.
std::vector<TraceLine> PortLines(const std::vector<TraceLine>& lines, int port);

bool ClearTrace(const Folder& folder);

}  // namespace desk
