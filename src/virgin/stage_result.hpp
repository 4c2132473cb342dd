// Recording one stage's result in a working copy: done bit, pass bit, stamp.
#pragma once

#include "stage.hpp"
#include "stagemark.h"

namespace stagemark {

// Sets the mask's done bit, stamps the slots the mask owns with the current
// time, and sets (pass) or clears (fail) the mask's pass bit.
void RecordStageResult(TestHandle& copy, StageMask mask, bool pass);

}  // namespace stagemark
