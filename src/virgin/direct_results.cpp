#include "direct_results.hpp"

#include "stage_result.hpp"
#include "virgin_param.hpp"

namespace stagemark {

bool SetPassFailDirect(StageMask mask, bool pass) {
    // A working copy of its own, on the stack: the direct path never touches the handle.
    TestHandle copy;
    if (!ReadVirginParam(copy)) return false;
    RecordStageResult(copy, mask, pass);
    return WriteVirginParam(copy);
}

}  // namespace stagemark

#define STAGEMARK_DIRECT_RESULTS(STAGE)                                                  \
    int STAGEMARK_CALL R_##STAGE##_Pass(void) {                                          \
        return stagemark::SetPassFailDirect(stagemark::MaskOf(stagemark::Stage::STAGE), true) ? 1 : 0;  \
    }                                                                                    \
    int STAGEMARK_CALL R_##STAGE##_Fail(void) {                                          \
        return stagemark::SetPassFailDirect(stagemark::MaskOf(stagemark::Stage::STAGE), false) ? 1 : 0; \
    }

extern "C" {
STAGEMARK_DIRECT_RESULTS(BSN)
STAGEMARK_DIRECT_RESULTS(BT)
STAGEMARK_DIRECT_RESULTS(CT)
STAGEMARK_DIRECT_RESULTS(LAMA)
STAGEMARK_DIRECT_RESULTS(FT)
STAGEMARK_DIRECT_RESULTS(IMEI)
STAGEMARK_DIRECT_RESULTS(RES1)
STAGEMARK_DIRECT_RESULTS(RES2)
}
