// Faults planned on the desk for the station processes to come: the next call of an
// operation on a port fails, once or from now on, until cleared. Kept in portN.faults; a
// tls fault, which comes before any port is named, in the one desk-wide desk.faults.
#pragma once

#include <cstddef>
#include <string>
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
// Empty when done; otherwise why not, with what to do.
std::string PlanFault(const Folder& folder, int port, const DeskFault& fault);
std::string ClearFaults(const Folder& folder, int port);

enum class FaultMet { No, Yes, Unreadable };

// Whether a planned fault meets this call, which then consumes a once-fault. Faults that
// are planned but cannot be read or consumed meet it too, with `problem` saying why: a
// station never passes where a failure was planned.
FaultMet TakeFault(const Folder& folder, int port, SimOp op, std::string& problem);

}  // namespace desk
