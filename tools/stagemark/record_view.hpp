// What the tool shows of a phone's working copy: the BSN, statuses and stamp times.
#pragma once

#include <string>

#include "library.hpp"

namespace tool {

std::string BsnText(const Exports& library);

// The stage's last recording time as ISO 8601 UTC, from its stamp slot.
std::string RecordedAt(const TestHandle& copy, int slot);

}  // namespace tool
