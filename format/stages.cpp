#include "stages.hpp"

#include <cstring>

namespace format {
namespace {

// Not std::toupper: under some locales it folds bytes of a UTF-8 name into ASCII.
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

const StageEntry* FindStage(std::string_view name) {
    for (const StageEntry& stage : kStages) {
        if (name.size() != std::strlen(stage.name)) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i) same = AsciiUpper(name[i]) == stage.name[i];
        if (same) return &stage;
    }
    return nullptr;
}

const char* StateWord(StageState state) {
    switch (state) {
        case StageState::Passed: return "passed";
        case StageState::Failed: return "failed";
        case StageState::NotRecorded: break;
    }
    return "not recorded";
}

const char* StatusWord(int status) {
    switch (status) {
        case 1: return StateWord(StageState::Passed);
        case 2: return StateWord(StageState::Failed);
        default: return StateWord(StageState::NotRecorded);
    }
}

StageState StateOf(const unsigned char* record, int slot) {
    const unsigned char mask = kStages[slot].mask;
    if ((record[kDoneFlagsOffset] & mask) == 0) return StageState::NotRecorded;
    return (record[kPassFlagsOffset] & mask) != 0 ? StageState::Passed : StageState::Failed;
}

std::uint32_t StampOf(const unsigned char* record, int slot) {
    const unsigned char* stamp = record + kStampsOffset + 4 * static_cast<std::size_t>(slot);
    return std::uint32_t{stamp[0]} << 24 | std::uint32_t{stamp[1]} << 16 | std::uint32_t{stamp[2]} << 8 | stamp[3];
}

}  // namespace format
