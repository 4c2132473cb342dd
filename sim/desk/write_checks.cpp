#include "write_checks.hpp"

#include "record_text.hpp"
#include "stages.hpp"
#include "utc_text.hpp"

namespace desk {
namespace {

bool SameStage(const unsigned char* a, const unsigned char* b, int slot) {
    return format::StateOf(a, slot) == format::StateOf(b, slot) && format::StampOf(a, slot) == format::StampOf(b, slot);
}

// The stages whose result on the phone the write takes back. What the write carries
// unchanged from what this process last read is not its own result: where the phone has
// changed since, the write takes the newer result back. With no read to go by, a stage
// that the write clears or stamps older is taken back.
std::string UndoneStages(const unsigned char* phone, const unsigned char* written, const unsigned char* last_read) {
    std::string undone;
    for (const format::StageEntry& stage : format::kStages) {
        const int slot = stage.slot;
        if (SameStage(phone, written, slot) || format::StateOf(phone, slot) == format::StageState::NotRecorded) continue;
        const bool taken_back = last_read != nullptr
                                    ? SameStage(written, last_read, slot)
                                    : format::StateOf(written, slot) == format::StageState::NotRecorded ||
                                          format::StampOf(written, slot) < format::StampOf(phone, slot);
        if (!taken_back) continue;
        undone += (undone.empty() ? "" : ", ") + std::string(stage.name) + " " +
                  format::StateWord(format::StateOf(phone, slot)) + " at " +
                  format::UtcText(format::StampOf(phone, slot)) + " (back to " +
                  format::StateWord(format::StateOf(written, slot)) + ")";
    }
    return undone;
}

}  // namespace

std::string WriteCheck(const format::Record& phone, const unsigned char* written, const format::Record* last_read) {
    const std::string on_phone = format::BsnText(phone.data()), carried = format::BsnText(written);
    if (on_phone != carried) {
        return "phone " + on_phone + " was written with the record of phone " + carried +
               ": a test handle was left open from another phone; close the handle on every path, before ExitTat "
               "and before the next phone";
    }
    const std::string undone = UndoneStages(phone.data(), written, last_read != nullptr ? last_read->data() : nullptr);
    if (undone.empty()) return "";
    return "the write to phone " + on_phone + " undid " + undone +
           ", recorded since this write's data was read: a direct result was recorded while a test handle was "
           "open, or two processes worked on the phone; record through one path, one process at a time";
}

}  // namespace desk
