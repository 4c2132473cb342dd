// Faults planned on the desk for the station processes to come: the next call of an
// operation on a port fails, once or from now on, until cleared. Kept in portN.faults.
#pragma once

#include <string>
#include <vector>

#include "stagemark_sim.h"

namespace sim {

struct DeskFault {
    SimOp op;
    bool from_now;  // else once: the call that meets it consumes it
};

bool PlanDeskFault(int port, const DeskFault& fault);
bool ClearDeskFaults(int port);

// The faults planned on the port; `damaged` counts lines that could not be read.
std::vector<DeskFault> DeskFaults(int port, std::size_t& damaged);

// True when a planned fault meets this call, which then consumes a once-fault. A tls
// call comes before any port is named: it meets a tls fault planned on any port.
bool TakeDeskFault(int port, SimOp op);

}  // namespace sim
