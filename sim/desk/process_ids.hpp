// This process and thread, and whether another process still runs: for the trace and
// for naming who holds a port.
#pragma once

namespace desk {

long ProcessId();
long ThreadId();
bool ProcessAlive(long pid);

}  // namespace desk
