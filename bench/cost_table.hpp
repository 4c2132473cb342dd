// The cost table both targets print: time per call, reported only, and the figures
// that do not depend on the machine, checked exactly.
#pragma once

#include <map>
#include <string>

namespace bench {

struct Measured {
    double nanoseconds = 0;
    double allocs = 0, reads = 0, writes = 0;
};

// Keyed by operation: "BaselineMemcpy", "DirectResult", "CachedResult", "StatusQuery",
// "BsnText", "OpenClose".
using Measurements = std::map<std::string, Measured>;

// Prints the table for the operations measured and checks each one's allocation and
// driver-call counts, and the direct result against the serial link's floor / 1000.
// False when a check failed or nothing was measured. Operations not measured (a filter)
// are left out.
bool ReportCosts(const char* title, const Measurements& measured);

}  // namespace bench
