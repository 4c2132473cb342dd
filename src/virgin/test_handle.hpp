// The test handle: one process-wide working copy that a station keeps open on one phone.
#pragma once

#include "stage.hpp"

namespace stagemark {

// Records the stage's result in the open working copy and commits the whole
// record. False with no handle open, or when the commit failed; a failed
// commit is not rolled back, so the next good one carries its bits too.
bool SetPassFail(StageMask mask, bool pass);

// 0 not recorded (or no handle open), 1 last result a pass, 2 last result a fail.
int GetStageStatus(StageMask mask);

}  // namespace stagemark
