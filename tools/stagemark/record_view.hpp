// What the tool shows of a phone's working copy: the BSN, statuses and stamp times.
#pragma once

#include <string>

#include "library.hpp"

namespace tool {

std::string BsnText(const Exports& library);

// A BSN is ten decimal digits. Flash that was never written reads as 0xFF, which
// renders as "ffffffffff" and would show every stage passed: such a record is not trusted.
bool IsTenDigits(const std::string& bsn);

// The stage's last recording time as ISO 8601 UTC, from its stamp slot.
std::string RecordedAt(const TestHandle& copy, int slot);

}  // namespace tool
