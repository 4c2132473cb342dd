// The eight stages as the station tool names them, with their exports.
#pragma once

#include <optional>
#include <string_view>

#include "stagemark.h"

namespace tool {

struct StageEntry {
    const char* name;
    int slot;  // stamp slot in the working copy
    int(STAGEMARK_CALL* pass)(void);
    int(STAGEMARK_CALL* fail)(void);
    int(STAGEMARK_CALL* status)(void);
};

inline constexpr StageEntry kStages[] = {
    {"BSN", 0, BSN_Pass, BSN_Fail, BSN_Status},      {"BT", 1, BT_Pass, BT_Fail, BT_Status},
    {"CT", 2, CT_Pass, CT_Fail, CT_Status},          {"LAMA", 3, LAMA_Pass, LAMA_Fail, LAMA_Status},
    {"FT", 4, FT_Pass, FT_Fail, FT_Status},          {"IMEI", 5, IMEI_Pass, IMEI_Fail, IMEI_Status},
    {"RES1", 6, RES1_Pass, RES1_Fail, RES1_Status},  {"RES2", 7, RES2_Pass, RES2_Fail, RES2_Status},
};

// Case-insensitive: "ft", "Ft" and "FT" name the same stage.
const StageEntry* FindStage(std::string_view name);

// "not recorded", "passed" or "failed" for a status 0, 1 or 2.
const char* StatusWord(int status);

}  // namespace tool
