// The names the desk gives the stand-ins' eight operations, in the order a station meets them.
#pragma once

#include <optional>
#include <string_view>

#include "stagemark_sim.h"

namespace desk {

inline constexpr const char* kOpNames[SIM_OP_COUNT] = {"tls",  "open",  "init",  "detect",
                                                       "read", "write", "close", "free"};

// "write", "Write" and "WRITE" are one word (`word` in lowercase). Only ASCII letters fold, whatever the
// locale: a dotless ı is not an i.
inline bool SameWord(std::string_view given, std::string_view word) {
    if (given.size() != word.size()) return false;
    for (std::size_t i = 0; i < given.size(); ++i) {
        const char c = given[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != word[i]) return false;
    }
    return true;
}

inline std::optional<SimOp> OpFromName(std::string_view name) {
    for (int op = 0; op < SIM_OP_COUNT; ++op) {
        if (SameWord(name, kOpNames[op])) return static_cast<SimOp>(op);
    }
    return std::nullopt;
}

}  // namespace desk
