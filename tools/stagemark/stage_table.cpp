#include "stage_table.hpp"

#include <cctype>
#include <cstring>

namespace tool {

const StageEntry* FindStage(std::string_view name) {
    for (const StageEntry& stage : kStages) {
        if (name.size() != std::strlen(stage.name)) continue;
        bool same = true;
        for (std::size_t i = 0; i < name.size() && same; ++i) {
            same = std::toupper(static_cast<unsigned char>(name[i])) == stage.name[i];
        }
        if (same) return &stage;
    }
    return nullptr;
}

const char* StatusWord(int status) {
    switch (status) {
        case 1: return "passed";
        case 2: return "failed";
        default: return "not recorded";
    }
}

}  // namespace tool
