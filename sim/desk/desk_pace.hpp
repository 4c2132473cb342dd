// Pacing: while on for a port, each record transfer there takes the serial link's real
// time for its bytes, so a station program's desk cycle lasts as long as on the line.
#pragma once

#include "desk_folder.hpp"

namespace desk {

bool PaceOn(const Folder& folder, int port);
bool SetPace(const Folder& folder, int port, bool on);

// Waits the link's time for the bytes when the port is paced.
void PaceTransfer(const Folder& folder, int port, unsigned bytes);

// The serial link's time for the bytes at 115200 baud, 8N1: ten bits a byte.
inline double LinkMilliseconds(unsigned bytes) { return bytes * 10.0 / 115200.0 * 1000.0; }

}  // namespace desk
