// The names the desk uses: the eight operations, in the order a station meets them, and
// the eight stages, in the order of their stamp slots.
#pragma once

#include <optional>
#include <string_view>

#include "stagemark_sim.h"

namespace sim {

inline constexpr const char* kOpNames[SIM_OP_COUNT] = {"tls",  "open",  "init",  "detect",
                                                       "read", "write", "close", "free"};

inline constexpr const char* kStageNames[8] = {"BSN", "BT", "CT", "LAMA", "FT", "IMEI", "RES1", "RES2"};

inline std::optional<SimOp> OpFromName(std::string_view name) {
    for (int op = 0; op < SIM_OP_COUNT; ++op) {
        if (name == kOpNames[op]) return static_cast<SimOp>(op);
    }
    return std::nullopt;
}

}  // namespace sim
