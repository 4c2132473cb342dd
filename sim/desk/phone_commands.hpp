// The desk commands that change a port's phone: each takes the port's hold as a
// station's link does, waiting a bounded time for a station to let go, and changes the
// phone only through the one change path, so a phone never changes under an open link.
#pragma once

#include <string>

#include "desk_folder.hpp"
#include "record_format.hpp"

namespace desk {

enum class CommandResult { Done, NoPhone, PhoneThere, InUse, Failed };

struct CommandOutcome {
    CommandResult result = CommandResult::Failed;
    std::string problem;  // why, for InUse and Failed: a sentence with what to try
};

// How long a desk command waits for a station's link to let the port go.
inline constexpr int kCommandWaitMs = 10000;

// A new phone with this record, only where no phone file is.
CommandOutcome InsertPhone(const Folder& folder, int port, const format::Record& record);
// Takes the phone away, with its record; a damaged or unreadable phone file too.
CommandOutcome RemovePhone(const Folder& folder, int port);
// Sets the stages of the port's sound phone: states[slot] is -1 to leave the stage,
// 0 not recorded, 1 passed or 2 failed, stamped now.
CommandOutcome SetPhoneStages(const Folder& folder, int port, const signed char states[8]);
// Carries the phone of port `from`, with its record, to port `to`, as an operator carries
// it to the next station: both ports held, the lower first; NoPhone when none is on
// `from`, PhoneThere when a phone file (or anything) is at `to`'s phone file.
CommandOutcome MovePhone(const Folder& folder, int from, int to);
// Puts the record on the port, over any phone there: for tests.
CommandOutcome PutPhone(const Folder& folder, int port, const format::Record& record);

}  // namespace desk
