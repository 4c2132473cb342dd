// The eight stages a phone passes through, and what the record says of each.
#pragma once

#include <cstdint>
#include <string_view>

#include "record_format.hpp"

namespace format {

struct StageEntry {
    const char* name;    // as stations and the library's exports name it
    int slot;            // its stamp slot, and its place in every stage list
    unsigned char mask;  // its bit in the pass and done flags
};

inline constexpr StageEntry kStages[kStageCount] = {
    {"BSN", 0, 0x80}, {"BT", 1, 0x40},   {"CT", 2, 0x20},   {"LAMA", 3, 0x10},
    {"FT", 4, 0x08},  {"IMEI", 5, 0x04}, {"RES1", 6, 0x02}, {"RES2", 7, 0x01},
};

// The slot is the place in the list, and the flag bits run from the top bit down.
static_assert([] {
    for (int slot = 0; slot < kStageCount; ++slot) {
        if (kStages[slot].slot != slot || kStages[slot].mask != (0x80 >> slot)) return false;
    }
    return true;
}());

// "ft", "Ft" and "FT" name the same stage. Only ASCII letters fold, whatever the
// station's locale: a dotless ı is not an i, so "ımeı" names no stage.
const StageEntry* FindStage(std::string_view name);

enum class StageState { NotRecorded = 0, Passed = 1, Failed = 2 };

// "not recorded", "passed" or "failed".
const char* StateWord(StageState state);

// The same words for a stage status as the library's _Status exports return it: 1
// passed, 2 failed, anything else not recorded.
const char* StatusWord(int status);

// The stage in slot 0..7 of a record of kRecordSize bytes.
StageState StateOf(const unsigned char* record, int slot);

// The stage's last recording time in Unix seconds (UTC), most significant byte first.
std::uint32_t StampOf(const unsigned char* record, int slot);

}  // namespace format
