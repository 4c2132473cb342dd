// A phone's record 1000 as the stand-in driver keeps it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "stagemark_sim.h"

namespace sim {

using Record = std::array<unsigned char, SIM_RECORD_SIZE>;

// Where the record keeps the fields the stand-ins look at.
namespace record_offset {
inline constexpr std::size_t bsn = 789;
inline constexpr std::size_t passFlags = 810;
inline constexpr std::size_t doneFlags = 811;
inline constexpr std::size_t stamps = 838;
}  // namespace record_offset

// A new phone: erased pass-through area, its BSN, no stage recorded, zero stamps.
// False when the BSN is not ten decimal digits.
bool NewPhoneRecord(std::string_view bsn, Record& record);

// Sets each stage whose state is not -1: 0 clears its bits, 1 records a pass and 2 a
// fail, stamped `seconds` (Unix seconds, low 32 bits). False for any other state.
bool SetStages(Record& record, const signed char states[8], std::uint32_t seconds);

// The clock now, as a stamp holds it.
std::uint32_t SecondsNow();

}  // namespace sim
