// What the desk checks in each record write of a station program, against the phone's
// record as it stands: the two mistakes that write wrong data onto real phones.
#pragma once

#include "phone_record.hpp"

namespace sim {

// Adds a check to the trace when the write carries another phone's BSN (a test handle
// left open from another phone), or undoes a stage result recorded since the write's
// data was read (a direct result beside an open handle, or two processes on one phone).
// `last_read`: the record this process last read on this link, or null.
void CheckWrite(int port, const Record& current, const unsigned char* written, const unsigned char* last_read);

}  // namespace sim
