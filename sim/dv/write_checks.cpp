#include "write_checks.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "desk_time.hpp"

namespace sim {
namespace {

constexpr std::size_t kBsn = 789, kPassFlags = 810, kDoneFlags = 811, kStamps = 838;
constexpr const char* kStageNames[8] = {"BSN", "BT", "CT", "LAMA", "FT", "IMEI", "RES1", "RES2"};

// As GetBsnStr gives it: two hexadecimal digits a byte.
std::string BsnText(const unsigned char* record) {
    char text[11];
    std::snprintf(text, sizeof text, "%.2x%.2x%.2x%.2x%.2x", record[kBsn], record[kBsn + 1], record[kBsn + 2],
                  record[kBsn + 3], record[kBsn + 4]);
    return text;
}

std::uint32_t Stamp(const unsigned char* record, int slot) {
    const unsigned char* stamp = record + kStamps + 4 * slot;
    return std::uint32_t{stamp[0]} << 24 | std::uint32_t{stamp[1]} << 16 | std::uint32_t{stamp[2]} << 8 | stamp[3];
}

std::string Outcome(const unsigned char* record, unsigned mask) {
    if ((record[kDoneFlags] & mask) == 0) return "not recorded";
    return (record[kPassFlags] & mask) != 0 ? "passed" : "failed";
}

// The stages whose result on the phone the write takes back to an older one. A station
// records one stage a write, stamped now: a write that changes more stages takes back
// each of them that is not newer than the phone's, even one recorded the same second.
std::string UndoneStages(const unsigned char* current, const unsigned char* written) {
    int changed = 0;
    for (int slot = 0; slot < 8; ++slot) {
        const unsigned mask = 0x80u >> slot;
        if (Outcome(current, mask) != Outcome(written, mask) || Stamp(current, slot) != Stamp(written, slot)) ++changed;
    }
    std::string undone;
    for (int slot = 0; slot < 8; ++slot) {
        const unsigned mask = 0x80u >> slot;
        if (Outcome(current, mask) == Outcome(written, mask) && Stamp(current, slot) == Stamp(written, slot)) continue;
        if ((current[kDoneFlags] & mask) == 0) continue;  // nothing recorded there to take back
        const bool cleared = (written[kDoneFlags] & mask) == 0;
        const bool older = Stamp(written, slot) < Stamp(current, slot);
        const bool not_newer = changed > 1 && Stamp(written, slot) <= Stamp(current, slot);
        if (!cleared && !older && !not_newer) continue;
        undone += (undone.empty() ? "" : ", ") + std::string(kStageNames[slot]) + " " + Outcome(current, mask) +
                  " at " + UtcText(Stamp(current, slot)) + " (back to " + Outcome(written, mask) + ")";
    }
    return undone;
}

}  // namespace
}  // namespace sim


namespace sim {

void CheckWrite(int port, const Record& current, const unsigned char* written) {
    const std::string phone = BsnText(current.data()), carried = BsnText(written);
    if (phone != carried) {
        const std::string note = "phone " + phone + " was written with the record of phone " + carried +
                                 ": a test handle was left open from another phone; close the handle on every "
                                 "path, before ExitTat and before the next phone";
        sim_desk_note(port, note.c_str());
        return;
    }
    if (const std::string undone = UndoneStages(current.data(), written); !undone.empty()) {
        const std::string note = "the write to phone " + phone + " undid " + undone +
                                 ", recorded since this write's data was read: a direct result was recorded while "
                                 "a test handle was open, or two processes worked on the phone; record through one "
                                 "path, one process at a time";
        sim_desk_note(port, note.c_str());
    }
}

}  // namespace sim
