#include "record_build.hpp"

#include <algorithm>

#include "record_text.hpp"
#include "stages.hpp"

namespace format {

bool NewPhoneRecord(std::string_view bsn, Record& out) {
    if (!IsTenDigits(bsn)) return false;
    out.fill(0x00);
    std::fill_n(out.begin(), kPassthroughSize, 0xFF);  // never-written flash reads as 0xFF
    for (const FixedField& field : kFixedFields) std::copy_n(field.bytes, field.size, out.begin() + field.offset);
    for (std::size_t i = 0; i < kBsnBytes; ++i) {
        const int high = bsn[2 * i] - '0';
        const int low = bsn[2 * i + 1] - '0';
        out[kBsnOffset + i] = static_cast<unsigned char>(high << 4 | low);
    }
    return true;
}

Record ErasedRecord() {
    Record record;
    record.fill(0xFF);
    return record;
}

bool SetStages(Record& record, const signed char states[kStageCount], std::uint32_t seconds) {
    if (!std::all_of(states, states + kStageCount, [](signed char state) { return state >= -1 && state <= 2; })) {
        return false;
    }
    unsigned char& done = record[kDoneFlagsOffset];
    unsigned char& passed = record[kPassFlagsOffset];
    for (const StageEntry& stage : kStages) {
        const signed char state = states[stage.slot];
        if (state == -1) continue;
        const auto others = static_cast<unsigned char>(~stage.mask);
        done = static_cast<unsigned char>(state == 0 ? done & others : done | stage.mask);
        passed = static_cast<unsigned char>(state == 1 ? passed | stage.mask : passed & others);
        if (state == 0) continue;
        for (std::size_t i = 0; i < 4; ++i) {
            record[kStampsOffset + 4 * static_cast<std::size_t>(stage.slot) + i] =
                static_cast<unsigned char>(seconds >> (24 - 8 * i));
        }
    }
    return true;
}

}  // namespace format
