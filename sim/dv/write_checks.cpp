#include "write_checks.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "desk_ops.hpp"
#include "desk_time.hpp"

namespace sim {
namespace {

constexpr std::size_t kBsn = record_offset::bsn, kPassFlags = record_offset::passFlags,
                      kDoneFlags = record_offset::doneFlags, kStamps = record_offset::stamps;

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

bool SameStage(const unsigned char* a, const unsigned char* b, int slot) {
    const unsigned mask = 0x80u >> slot;
    return Outcome(a, mask) == Outcome(b, mask) && Stamp(a, slot) == Stamp(b, slot);
}

// The stages whose result on the phone the write takes back. What the write carries
// unchanged from what this process last read is not its own result: where the phone has
// changed since, the write takes the newer result back. With no read to go by, a stage
// that the write clears or stamps older is taken back.
std::string UndoneStages(const unsigned char* current, const unsigned char* written, const unsigned char* last_read) {
    std::string undone;
    for (int slot = 0; slot < 8; ++slot) {
        const unsigned mask = 0x80u >> slot;
        if (SameStage(current, written, slot) || (current[kDoneFlags] & mask) == 0) continue;
        const bool taken_back = last_read != nullptr
                                    ? SameStage(written, last_read, slot)
                                    : (written[kDoneFlags] & mask) == 0 || Stamp(written, slot) < Stamp(current, slot);
        if (!taken_back) continue;
        undone += (undone.empty() ? "" : ", ") + std::string(kStageNames[slot]) + " " + Outcome(current, mask) +
                  " at " + UtcText(Stamp(current, slot)) + " (back to " + Outcome(written, mask) + ")";
    }
    return undone;
}

}  // namespace
}  // namespace sim


namespace sim {

void CheckWrite(int port, const Record& current, const unsigned char* written, const unsigned char* last_read) {
    const std::string phone = BsnText(current.data()), carried = BsnText(written);
    if (phone != carried) {
        const std::string note = "phone " + phone + " was written with the record of phone " + carried +
                                 ": a test handle was left open from another phone; close the handle on every "
                                 "path, before ExitTat and before the next phone";
        sim_desk_note(port, note.c_str());
        return;
    }
    if (const std::string undone = UndoneStages(current.data(), written, last_read); !undone.empty()) {
        const std::string note = "the write to phone " + phone + " undid " + undone +
                                 ", recorded since this write's data was read: a direct result was recorded while "
                                 "a test handle was open, or two processes worked on the phone; record through one "
                                 "path, one process at a time";
        sim_desk_note(port, note.c_str());
    }
}

}  // namespace sim
