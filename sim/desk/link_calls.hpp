// The serial link's four operations as the desk takes them: per-thread storage, one
// open link per port, and on the desk the port's hold against other processes.
#pragma once

namespace desk {

int TlsAllocate();
int OpenLink(const char* port_name, const int settings[7]);
int CloseLink(int port);
int TlsFree();

// True when the calling thread may use the open link (or none is open); otherwise adds
// the check to the trace. The link library's storage is per thread.
class DeskCall;
bool OnLinkThread(DeskCall& call, const char* what);

}  // namespace desk
