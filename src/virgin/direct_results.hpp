// The direct path: read the record, record one stage, write it back, in one call.
#pragma once

#include "stage.hpp"

namespace stagemark {

// True when the record was read and written back. A failed read writes nothing.
bool SetPassFailDirect(StageMask mask, bool pass);

}  // namespace stagemark
