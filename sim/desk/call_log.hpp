// The one log of the calls the stand-ins take, with the faults planned in this process.
// The log keeps the most recent calls only, so a station program can run on the desk
// for hours; the per-operation counts cover every call.
#pragma once

#include <cstddef>

#include "stagemark_sim.h"

namespace desk {

void LogCall(const SimCall& call, const unsigned char* bytes, std::size_t count);

// A fault planned in this process for this call of `op`: its result, or 0.
int TakeProcessFault(SimOp op);

// Zeroes the per-operation counts, clears the log and the faults, turns logging on.
void ResetCallLog();

}  // namespace desk
