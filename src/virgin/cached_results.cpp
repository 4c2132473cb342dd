// The stage-wise exports of the test handle: results committed at once, and statuses.
#include "stagemark.h"
#include "test_handle.hpp"

#define STAGEMARK_CACHED_RESULTS(STAGE)                                                        \
    int STAGEMARK_CALL STAGE##_Pass(void) {                                                    \
        return stagemark::SetPassFail(stagemark::MaskOf(stagemark::Stage::STAGE), true) ? 1 : 0;  \
    }                                                                                          \
    int STAGEMARK_CALL STAGE##_Fail(void) {                                                    \
        return stagemark::SetPassFail(stagemark::MaskOf(stagemark::Stage::STAGE), false) ? 1 : 0; \
    }                                                                                          \
    int STAGEMARK_CALL STAGE##_Status(void) {                                                  \
        return stagemark::GetStageStatus(stagemark::MaskOf(stagemark::Stage::STAGE));          \
    }

extern "C" {
STAGEMARK_CACHED_RESULTS(BSN)
STAGEMARK_CACHED_RESULTS(BT)
STAGEMARK_CACHED_RESULTS(CT)
STAGEMARK_CACHED_RESULTS(LAMA)
STAGEMARK_CACHED_RESULTS(FT)
STAGEMARK_CACHED_RESULTS(IMEI)
STAGEMARK_CACHED_RESULTS(RES1)
STAGEMARK_CACHED_RESULTS(RES2)
}
