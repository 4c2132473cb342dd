// A phone's record 1000 as the stand-in driver keeps it.
#pragma once

#include <array>
#include <string_view>

#include "stagemark_sim.h"

namespace sim {

using Record = std::array<unsigned char, SIM_RECORD_SIZE>;

// A new phone: erased pass-through area, its BSN, no stage recorded, zero stamps.
// False when the BSN is not ten decimal digits.
bool NewPhoneRecord(std::string_view bsn, Record& record);

}  // namespace sim
