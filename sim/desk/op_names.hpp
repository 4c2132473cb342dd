// The names the desk gives the stand-ins' eight operations, in the order a station meets them.
#pragma once

#include <optional>
#include <string_view>

#include "stagemark_sim.h"

namespace desk {

inline constexpr const char* kOpNames[SIM_OP_COUNT] = {"tls",  "open",  "init",  "detect",
                                                       "read", "write", "close", "free"};

inline std::optional<SimOp> OpFromName(std::string_view name) {
    for (int op = 0; op < SIM_OP_COUNT; ++op) {
        if (name == kOpNames[op]) return static_cast<SimOp>(op);
    }
    return std::nullopt;
}

}  // namespace desk
