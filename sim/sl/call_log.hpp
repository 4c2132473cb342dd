// Inside the link library: starting the call counts afresh.
#pragma once

#include "stagemark_sim.h"

namespace sim {

// Zeroes the per-operation counts and turns logging back on.
void ResetCounting();

// A planned fault's result for this call of `op` on the port, or 0: one planned in this
// process first, then one planned on the desk.
int TakeFault(SimOp op, int port);

}  // namespace sim
