// Inside the link library: starting the call counts afresh.
#pragma once

namespace sim {

// Zeroes the per-operation counts and turns logging back on.
void ResetCounting();

}  // namespace sim
