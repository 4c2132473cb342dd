// The eight stages as the station tool names them.
#pragma once

#include <string_view>

namespace tool {

struct StageEntry {
    const char* name;
    int slot;  // stamp slot in the working copy, and place in the stage table
};

inline constexpr StageEntry kStages[] = {
    {"BSN", 0}, {"BT", 1}, {"CT", 2}, {"LAMA", 3}, {"FT", 4}, {"IMEI", 5}, {"RES1", 6}, {"RES2", 7},
};

// Case-insensitive: "ft", "Ft" and "FT" name the same stage.
const StageEntry* FindStage(std::string_view name);

// "not recorded", "passed" or "failed" for a status 0, 1 or 2.
const char* StatusWord(int status);

}  // namespace tool
