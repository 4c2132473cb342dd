#include "cost_table.hpp"

#include <cstdio>

namespace bench {
namespace {

// One direct result moves the record twice. At 115200 baud, 8N1 (10 bits a byte), the
// link needs 2072 * 10 / 115200 s for that: about 180 ms.
constexpr double kRecordCycleBytes = 2 * 1036;
constexpr double kLinkFloorNanoseconds = kRecordCycleBytes * 10 / 115200 * 1e9;
// Far from any machine's speed, so it only ever catches a pathological regression.
constexpr double kDirectCeilingNanoseconds = kLinkFloorNanoseconds / 1000;

struct Operation {
    const char* key;
    const char* label;
    double allocs, reads, writes;
    bool ceiling;  // held to the link floor / 1000
};

const Operation kOperations[] = {
    {"BaselineMemcpy", "memcpy of 2072 bytes, 64-byte aligned (baseline)", 0, 0, 0, false},
    {"DirectResult", "direct result (R_FT_Pass)", 0, 1, 1, true},
    {"CachedResult", "cached result (FT_Pass)", 0, 0, 1, false},
    {"StatusQuery", "status query (FT_Status)", 0, 0, 0, false},
    {"BsnText", "GetBsnStr", 0, 0, 0, false},
    {"OpenClose", "OpenTestHandle + CloseTestHandle", 1, 1, 0, false},
};

std::string Expected(const Operation& op) {
    std::string text = std::to_string(static_cast<int>(op.allocs)) + " allocs, " +
                       std::to_string(static_cast<int>(op.reads)) + " reads, " +
                       std::to_string(static_cast<int>(op.writes)) + " writes";
    if (op.ceiling) {
        char ceiling[32];
        std::snprintf(ceiling, sizeof ceiling, ", < %.1f us", kDirectCeilingNanoseconds / 1000);
        text += ceiling;
    }
    return text;
}

}  // namespace

bool ReportCosts(const char* title, const Measurements& measured) {
    const auto baseline = measured.find("BaselineMemcpy");
    if (measured.empty()) {
        std::printf("\n%s: no operation was measured\n", title);
        return false;
    }
    bool met = true;
    std::printf("\n%s\n\n| operation | ns/op | x baseline | allocs/op | reads/op | writes/op | checked |\n", title);
    std::printf("|---|---:|---:|---:|---:|---:|---|\n");
    for (const Operation& op : kOperations) {
        const auto found = measured.find(op.key);
        if (found == measured.end()) continue;
        const Measured& m = found->second;
        const bool ok = m.allocs == op.allocs && m.reads == op.reads && m.writes == op.writes &&
                        (!op.ceiling || m.nanoseconds < kDirectCeilingNanoseconds);
        met = met && ok;
        char ratio[32] = "-";
        if (baseline != measured.end() && baseline->second.nanoseconds > 0) {
            std::snprintf(ratio, sizeof ratio, "%.2f", m.nanoseconds / baseline->second.nanoseconds);
        }
        std::printf("| %s | %.1f | %s | %.2f | %.2f | %.2f | %s: %s |\n", op.label, m.nanoseconds, ratio, m.allocs,
                    m.reads, m.writes, Expected(op).c_str(), ok ? "met" : "MISSED");
    }
    std::printf("\nserial link floor for one direct result: %.1f ms (2072 bytes at 115200 baud, 8N1)\n",
                kLinkFloorNanoseconds / 1e6);
    return met;
}

}  // namespace bench
