// Faults planned on the desk for the station processes to come: the next call of an
// operation on a port fails, once or from now on, until cleared. Kept in portN.faults; a
// tls fault, which comes before any port is named, in the one desk-wide desk.faults.
#pragma once

#include <cstddef>
#include <vector>

#include "desk_folder.hpp"
#include "stagemark_sim.h"

namespace desk {

struct DeskFault {
    SimOp op;
    bool from_now;  // else once: the call that meets it consumes it
};

struct PlannedFaults {
    std::vector<DeskFault> faults;
    std::size_t damaged = 0;  // lines, or a whole file, that could not be read
};

// The faults for the port: planned on it, and any tls fault of the desk.
PlannedFaults ListFaults(const Folder& folder, int port);
bool PlanFault(const Folder& folder, int port, const DeskFault& fault);
bool ClearFaults(const Folder& folder, int port);

// True when a planned fault meets this call, which then consumes a once-fault.
bool TakeFault(const Folder& folder, int port, SimOp op);

}  // namespace desk
