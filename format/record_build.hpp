// Records made whole: a new phone's, and flash never written; and stage results set
// in one, as the stand-in phone stores them.
#pragma once

#include <cstdint>
#include <string_view>

#include "record_format.hpp"

namespace format {

// A new phone: the pass-through area erased (0xFF), the fixed fields, its BSN packed
// two digits a byte, no stage recorded and zero stamps. False, and `out` untouched,
// unless the BSN is ten decimal digits.
bool NewPhoneRecord(std::string_view bsn, Record& out);

// Flash never written: every byte 0xFF.
Record ErasedRecord();

// Sets each stage whose state is not -1: 0 clears its bits, 1 records a pass and 2 a
// fail, stamped `seconds` (Unix seconds, low 32 bits). False, and the record
// untouched, for any other state.
bool SetStages(Record& record, const signed char states[kStageCount], std::uint32_t seconds);

}  // namespace format
