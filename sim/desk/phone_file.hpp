// A phone kept in a file of the desk: its record and a CRC-32, so a damaged file is
// noticed. Every change to a phone file, whoever makes it, goes through ChangePhone.
#pragma once

#include "desk_folder.hpp"
#include "record_format.hpp"
#include "stagemark_desk.h"

namespace desk {

// What a reader saw of a port's phone file: a change is made only to the file it saw.
struct SeenPhone {
    SimPhoneState state = SIM_PHONE_NONE;
    format::Record record{};  // valid when state is SIM_PHONE_PRESENT
    FileId id;
};

// A missing, wrongly sized, damaged or unreadable file is no record.
SeenPhone LoadPhone(const Folder& folder, int port);

enum class PhoneChange { Done, NoPhone, PhoneThere, ChangedSinceSeen, Failed };

// The one way to change a phone. The caller holds the port (a station's link, or a desk
// command's hold). Writes `record` in place of the phone, or takes the phone away when it
// is null, only while the file is still the one `seen` describes: no phone file for a new
// phone, the same file with the same record, or a file as damaged as it was seen. `seen` then describes what was written.
PhoneChange ChangePhone(const Folder& folder, int port, SeenPhone& seen, const format::Record* record);

// The phone of port `from`, as `seen`, carried with its record to port `to`, where no phone
// file may be. The caller holds both ports. Never replaces, and the phone is never lost.
PhoneChange MovePhoneFile(const Folder& folder, int from, const SeenPhone& seen, int to);

}  // namespace desk
