// Pacing: while on for a port, each record transfer there takes the serial link's real
// time for its bytes, so a station program's desk cycle lasts as long as on the line.
#pragma once

namespace sim {

bool PaceOn(int port);
bool SetPace(int port, bool on);

// Waits the link's time for the bytes when the port is paced.
void PaceTransfer(int port, unsigned bytes);

}  // namespace sim
