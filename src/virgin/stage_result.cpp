#include "stage_result.hpp"

#include "stamp_time.hpp"

namespace stagemark {

void RecordStageResult(TestHandle& copy, StageMask mask, bool pass) {
    copy.doneFlags |= mask;
    for (int slot = 0; slot < kStageCount; ++slot) {
        if (OwnsSlot(mask, slot)) StampTime(copy.stamps[slot]);
    }
    if (pass) {
        copy.passFlags |= mask;
    } else {
        copy.passFlags &= static_cast<unsigned char>(~mask);
    }
}

}  // namespace stagemark
