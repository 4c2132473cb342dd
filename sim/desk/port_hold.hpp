// A port's hold: what a station's open link takes, as Windows holds a COM port, and
// what every desk command that changes the port's phone takes too, so that a phone
// never changes under an open link. The hold file names its holder's process id.
#pragma once

#include <memory>
#include <string>

#include "desk_folder.hpp"

namespace desk {

enum class Holder { Link, Command };

struct HoldAttempt {
    LockResult result = LockResult::Failed;
    std::unique_ptr<FileLock> lock;  // set when taken
    long holder = 0;                 // when busy: the live process that holds it, or 0 when not known
    std::string problem;             // when failed: why the hold file cannot be used
    bool not_a_file = false;         // when failed: a link, a FIFO or a folder is at its name, to be removed
    long left_open_by = 0;           // when taken: a process that ended with its link on the port open
};

// Takes the port's hold, waiting up to `wait_ms` while another process holds it. A link
// waits only while a desk command holds it, for a moment: as a COM port, it is refused at
// once while another program's link holds it.
HoldAttempt TakePort(const Folder& folder, int port, Holder who, int wait_ms);

// What to do about a hold file that failed: remove what is not a file; a file that cannot
// be created or locked may be the folder's permissions.
std::string HoldFileRemedy(const HoldAttempt& attempt);

// How long a link waits for a desk command that changes the port's phone.
inline constexpr int kLinkWaitForCommandMs = 2000;

// Lets the port go, saying first that nobody holds it.
void ReleasePort(std::unique_ptr<FileLock>& lock);

// Adds the check to the trace, under that process's id: it ended with its link open.
// Its detail starts with kLeftOpenCheck.
inline constexpr const char* kLeftOpenCheck = "the process ended with its link on COM";
void NoteLeftOpen(const Folder& folder, int port, long pid);

// When nobody holds the port, says in the trace whether a process ended with its link
// on it open: for a desk command that shows the port.
void FindLinkLeftOpen(const Folder& folder, int port);

// The live process that holds the port, or 0 when it is free or its holder is not known.
long PortHolder(const Folder& folder, int port);

// "COM1 is in use by process 4711" or "COM1 is in use by another program", with what to do.
std::string InUseText(int port, long holder);

}  // namespace desk
