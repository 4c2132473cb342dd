// What the desk checks in each record write of a station program, against the phone's
// record as it stands: the two mistakes that write wrong data onto real phones.
#pragma once

#include <string>

#include "record_format.hpp"

namespace desk {

// The check's text, or empty: the write carries another phone's BSN (a test handle left
// open from another phone), or takes back a stage result recorded since the write's data
// was read (a direct result beside an open handle). `last_read`: the record this process
// last read on this link, or null.
std::string WriteCheck(const format::Record& phone, const unsigned char* written, const format::Record* last_read);

}  // namespace desk
