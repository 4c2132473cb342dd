#include "phone_commands.hpp"

#include <algorithm>
#include <chrono>
#include <optional>

#include "phone_file.hpp"
#include "port_hold.hpp"
#include "process_ids.hpp"
#include "record_text.hpp"
#include "station_state.hpp"

namespace desk {
namespace {

enum class Change { Insert, Remove, Set, Put };

std::uint32_t SecondsNow() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

CommandOutcome Failed(std::string problem) { return {CommandResult::Failed, std::move(problem)}; }

// What the one change path's answer is for a desk command; none when the change failed,
// which the command words itself, as what it could not do.
std::optional<CommandOutcome> Settled(PhoneChange answer, const Folder& folder, int port, const char* nothing_done) {
    switch (answer) {
        case PhoneChange::Done: return CommandOutcome{CommandResult::Done, ""};
        case PhoneChange::NoPhone: return CommandOutcome{CommandResult::NoPhone, ""};
        case PhoneChange::PhoneThere: return CommandOutcome{CommandResult::PhoneThere, ""};
        case PhoneChange::ChangedSinceSeen:
            return Failed(folder.PathOf(PortFile(port, ".phone")) +
                          " changed while the port was held, by something outside the desk; " + nothing_done +
                          ", run the command again");
        case PhoneChange::Failed: break;
    }
    return std::nullopt;
}

// The system's reason for the last failed file operation, in brackets, or nothing.
std::string FailureCause(const Folder& folder) {
    return folder.LastFailure().empty() ? "" : " (" + folder.LastFailure() + ")";
}

// Under the port's hold: the phone as it is, the change, and the one change path.
CommandOutcome ChangeHeld(const Folder& folder, int port, Change change, const format::Record* record,
                          const signed char* states) {
    SeenPhone seen = LoadPhone(folder, port);
    format::Record changed{};
    const format::Record* written = record;
    switch (change) {
        case Change::Insert:
            if (seen.state != SIM_PHONE_NONE) return {CommandResult::PhoneThere, ""};
            break;
        case Change::Remove:
            if (seen.state == SIM_PHONE_NONE) return {CommandResult::NoPhone, ""};
            break;
        case Change::Set:
            if (seen.state == SIM_PHONE_NONE) return {CommandResult::NoPhone, ""};
            if (seen.state != SIM_PHONE_PRESENT) {
                return Failed(folder.PathOf(PortFile(port, ".phone")) +
                              " is damaged or cannot be read; take it away with 'stagemark-phone remove --port " +
                              std::to_string(port) + "', then insert a new phone");
            }
            if (!format::IsTenDigits(format::BsnText(seen.record.data()))) {
                return Failed("the phone's record was never written, or is damaged: it has no BSN of ten digits, "
                              "and stages set on it would read as recorded on no phone; insert a phone with a BSN");
            }
            changed = seen.record;
            if (!format::SetStages(changed, states, SecondsNow())) return Failed("a stage state is not 0, 1 or 2");
            written = &changed;
            break;
        case Change::Put: break;
    }
    if (std::optional<CommandOutcome> settled = Settled(ChangePhone(folder, port, seen, written), folder, port,
                                                        "nothing was written")) {
        return *settled;
    }
    const std::string cause = FailureCause(folder);
    if (change == Change::Remove) {
        return Failed(folder.PathOf(PortFile(port, ".phone")) + " could not be removed" + cause +
                      "; check the desk folder's permissions");
    }
    return Failed(folder.PathOf(PortFile(port, ".phone")) + " could not be written" + cause +
                  "; check that the desk's disk has space and its folder is writable, or set STAGEMARK_SIM_DIR to "
                  "one that is");
}

// Takes the port's hold for a desk command: Done when taken, else why not.
CommandOutcome TakeHold(const Folder& folder, int port, HoldAttempt& hold) {
    // This process's own open link holds the port: its phone is not changed under it.
    if (Port(port).open && Port(port).hold) {
        return {CommandResult::InUse, InUseText(port, ProcessId()) + ", with its link open; close it first"};
    }
    hold = TakePort(folder, port, Holder::Command, kCommandWaitMs);
    if (hold.result == LockResult::Busy) {
        return {CommandResult::InUse, InUseText(port, hold.holder) +
                                          ", with its link open, and stayed so for " +
                                          std::to_string(kCommandWaitMs / 1000) +
                                          " s; the phone is not changed under a station, so run the command again "
                                          "when the station has ended"};
    }
    if (hold.result == LockResult::Failed) {
        return Failed("the port's hold file " + hold.problem + "; " + HoldFileRemedy(hold));
    }
    if (hold.left_open_by != 0) NoteLeftOpen(folder, port, hold.left_open_by);
    return {CommandResult::Done, ""};
}

CommandOutcome Run(const Folder& folder, int port, Change change, const format::Record* record,
                   const signed char* states) {
    if (!folder.Usable()) return Failed(folder.Problem());
    if (!ValidPort(port)) return Failed("the port is not a number from 0 to 255");
    HoldAttempt hold;
    if (CommandOutcome taken = TakeHold(folder, port, hold); taken.result != CommandResult::Done) return taken;
    const CommandOutcome outcome = ChangeHeld(folder, port, change, record, states);
    ReleasePort(hold.lock);
    return outcome;
}

// Under both ports' holds: the phone as it is on `from`, nothing on `to`, and the move.
CommandOutcome MoveHeld(const Folder& folder, int from, int to) {
    // Looked at before it is read: a FIFO there would hold the move, and a folder or a link
    // carried on would let two ports share one record.
    const FileKind kind = folder.KindOf(PortFile(from, ".phone"));
    if (kind == FileKind::Missing) return {CommandResult::NoPhone, ""};
    if (kind != FileKind::Regular && kind != FileKind::Unknown) {
        return Failed(folder.PathOf(PortFile(from, ".phone")) + " is " + KindText(kind) +
                      ", not a regular phone file, so it is not carried as a phone; remove it, then put a phone "
                      "there with 'stagemark-phone insert --port " + std::to_string(from) + "'");
    }
    const SeenPhone seen = LoadPhone(folder, from);
    if (seen.state == SIM_PHONE_NONE) return {CommandResult::NoPhone, ""};
    if (folder.KindOf(PortFile(to, ".phone")) != FileKind::Missing) return {CommandResult::PhoneThere, ""};
    if (std::optional<CommandOutcome> settled = Settled(MovePhoneFile(folder, from, seen, to), folder, from,
                                                        "nothing was moved")) {
        return *settled;
    }
    return Failed(folder.PathOf(PortFile(from, ".phone")) + " could not be moved to " +
                  folder.PathOf(PortFile(to, ".phone")) + FailureCause(folder) + "; check the desk folder's permissions");
}

}  // namespace

CommandOutcome InsertPhone(const Folder& folder, int port, const format::Record& record) {
    return Run(folder, port, Change::Insert, &record, nullptr);
}

CommandOutcome RemovePhone(const Folder& folder, int port) {
    return Run(folder, port, Change::Remove, nullptr, nullptr);
}

CommandOutcome SetPhoneStages(const Folder& folder, int port, const signed char states[8]) {
    return Run(folder, port, Change::Set, nullptr, states);
}

CommandOutcome PutPhone(const Folder& folder, int port, const format::Record& record) {
    return Run(folder, port, Change::Put, &record, nullptr);
}

CommandOutcome MovePhone(const Folder& folder, int from, int to) {
    if (!folder.Usable()) return Failed(folder.Problem());
    if (!ValidPort(from) || !ValidPort(to)) return Failed("the port is not a number from 0 to 255");
    if (from == to) return Failed("the phone would move onto the port it is on; name two ports");
    // The lower port first, whichever way the phone goes: two moves never wait on each other.
    HoldAttempt lower, higher;
    if (CommandOutcome taken = TakeHold(folder, std::min(from, to), lower); taken.result != CommandResult::Done) {
        return taken;
    }
    CommandOutcome outcome = TakeHold(folder, std::max(from, to), higher);
    if (outcome.result == CommandResult::Done) outcome = MoveHeld(folder, from, to);
    ReleasePort(higher.lock);
    ReleasePort(lower.lock);
    return outcome;
}

}  // namespace desk
