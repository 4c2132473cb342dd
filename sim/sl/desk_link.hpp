// The link library's part of the desk: while station processes run on a desk (the
// default), each call is traced, planned faults are met, and an open link holds its port
// against other processes, as a real serial port is held. Tests that keep the phone in
// memory turn the desk off.
#pragma once

#include "stagemark_sim.h"

namespace sim {

bool DeskOn();
void SetDeskOn(bool on);

// Holds the port for this process's link; false when another process holds it, and
// `holder` is then its process id (0 when not known).
bool HoldPort(int port, long& holder);
void ReleasePort(int port);

// The port a call belongs to, for the trace and the faults: -1 when none is known.
int PortOfCall(const SimCall& call);

void TraceCall(const SimCall& call);

// True when a fault planned on the desk meets this call.
bool DeskFaultMeets(SimOp op, int port);

}  // namespace sim
