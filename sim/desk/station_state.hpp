// What this station process holds on the link and the desk: the open links and their
// port holds, the thread that opened the link, and what it last saw of each phone.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "desk_folder.hpp"
#include "phone_file.hpp"

namespace desk {

inline constexpr int kPortCount = 256;

// A station process meets the desk a user set up; tests in memory turn it off. The one
// switch, asked cheaply on every call.
bool DeskOn();
void SetDeskOn(bool on);

struct PortState {
    bool open = false;
    std::unique_ptr<FileLock> hold;  // the port's hold while the link is open on the desk
    // The desk folder the link opened and holds the port in: every call on the link goes
    // there, so a folder swapped by name meanwhile is never the one changed.
    std::shared_ptr<const Folder> folder;
    std::string open_problem;        // why this process last failed to open a link here
    SeenPhone seen;                  // the phone file as this process last read or wrote it
    bool has_seen = false;
};

struct Station {
    std::array<PortState, kPortCount> ports;
    std::vector<int> opened_order;  // most recent last
    long link_thread = 0;           // the thread that opened the most recent link
    int last_port = -1;             // the port this process last named, for its port-less calls
};

Station& State();

inline bool ValidPort(int port) { return port >= 0 && port < kPortCount; }
// Only for a valid port.
inline PortState& Port(int port) { return State().ports[static_cast<std::size_t>(port)]; }

// The port of the most recently opened link still open, or -1.
int CurrentPort();

// Lets every port go and forgets every link.
void ResetStation();

}  // namespace desk
