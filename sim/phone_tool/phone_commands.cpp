// Putting a phone on a port, taking it away, finding it, and setting its stages.
#include <cstdio>
#include <cstring>
#include <string>

#include "desk_commands.hpp"
#include "op_names.hpp"
#include "phone_commands.hpp"
#include "record_text.hpp"
#include "stages.hpp"

namespace phone_tool {
namespace {

int StageSlot(const std::string& name) {
    const format::StageEntry* stage = format::FindStage(name);
    return stage != nullptr ? stage->slot : -1;
}

int StateValue(const std::string& state) {
    if (desk::SameWord(state, "unrecorded")) return 0;
    if (desk::SameWord(state, "passed")) return 1;
    if (desk::SameWord(state, "failed")) return 2;
    return -1;
}

}  // namespace

std::string PhonePath(const desk::Folder& folder, int port) { return folder.PathOf(desk::PortFile(port, ".phone")); }

int FolderRefused(const desk::Folder& folder) {
    std::fprintf(stderr, "stagemark-phone: %s\n", folder.Problem().c_str());
    return kFailure;
}

namespace {

// Says why a desk command could not change the phone, and returns the exit code.
int Refused(const char* what, int port, const desk::CommandOutcome& outcome) {
    std::fprintf(stderr, "stagemark-phone: %s on COM%d %s: %s\n", what, port,
                 outcome.result == desk::CommandResult::InUse ? "refused" : "failed", outcome.problem.c_str());
    return kFailure;
}

// Says that a phone file stands where a phone was to go, and returns the exit code.
int PhoneFileThere(const char* what, const desk::Folder& folder, int port) {
    std::fprintf(stderr,
                 "stagemark-phone: %s COM%d refused: a phone file is already there (%s); take it away first with "
                 "'stagemark-phone remove --port %d'\n",
                 what, port, PhonePath(folder, port).c_str(), port);
    return kFailure;
}

}  // namespace

int Insert(const Arguments& args) {
    const bool erased = args.flags.count("--erased") != 0;
    if (erased && args.bsn != nullptr) return Usage("--erased and --bsn exclude each other: an erased phone has no BSN");
    const char* bsn = args.bsn != nullptr ? args.bsn : "3579024680";
    format::Record record = format::ErasedRecord();
    if (!erased && !format::NewPhoneRecord(bsn, record)) {
        return Usage("the BSN '" + std::string(bsn) + "' is not ten decimal digits");
    }
    const desk::Folder folder = desk::Folder::Open();
    const desk::CommandOutcome outcome = desk::InsertPhone(folder, args.port, record);
    switch (outcome.result) {
        case desk::CommandResult::Done:
            if (erased) {
                std::printf("new erased phone on COM%d: its record was never written\n", args.port);
            } else {
                std::printf("new phone %s on COM%d\n", bsn, args.port);
            }
            return 0;
        case desk::CommandResult::PhoneThere: return PhoneFileThere("inserting a phone on", folder, args.port);
        default: return Refused("inserting a phone", args.port, outcome);
    }
}

int Remove(const Arguments& args) {
    const desk::Folder folder = desk::Folder::Open();
    const desk::CommandOutcome outcome = desk::RemovePhone(folder, args.port);
    switch (outcome.result) {
        case desk::CommandResult::Done: std::printf("phone taken off COM%d\n", args.port); return 0;
        case desk::CommandResult::NoPhone:
            std::fprintf(stderr, "stagemark-phone: no phone on COM%d (%s)\n", args.port,
                         PhonePath(folder, args.port).c_str());
            return kFailure;
        default: return Refused("removing the phone", args.port, outcome);
    }
}

int Move(const Arguments& args) {
    const desk::Folder folder = desk::Folder::Open();
    const desk::CommandOutcome outcome = desk::MovePhone(folder, args.from, args.to);
    switch (outcome.result) {
        case desk::CommandResult::Done:
            std::printf("phone moved from COM%d to COM%d, with its record\n", args.from, args.to);
            return 0;
        case desk::CommandResult::NoPhone:
            std::fprintf(stderr,
                         "stagemark-phone: moving the phone from COM%d refused: no phone there (%s); put one there "
                         "with 'stagemark-phone insert --port %d'\n",
                         args.from, PhonePath(folder, args.from).c_str(), args.from);
            return kFailure;
        case desk::CommandResult::PhoneThere: return PhoneFileThere("moving the phone to", folder, args.to);
        default: return Refused("moving the phone", args.from, outcome);
    }
}

int Where(const Arguments& args) {
    const desk::Folder folder = desk::Folder::Open();
    if (!folder.Usable()) {
        std::fprintf(stderr, "stagemark-phone: finding the desk folder failed: %s\n", folder.Problem().c_str());
        return kFailure;
    }
    // Looked at, never opened: a FIFO there would hold the command. A damaged or unreadable
    // phone file is still named: it is what a station failed to read.
    const desk::FileKind kind = folder.KindOf(desk::PortFile(args.port, ".phone"));
    if (kind == desk::FileKind::Missing) {
        std::fprintf(stderr,
                     "stagemark-phone: no phone on COM%d (its file would be %s); put one there with "
                     "'stagemark-phone insert --port %d'\n",
                     args.port, PhonePath(folder, args.port).c_str(), args.port);
        return kFailure;
    }
    if (kind != desk::FileKind::Regular && kind != desk::FileKind::Unknown) {
        std::fprintf(stderr,
                     "stagemark-phone: the phone file of COM%d, %s, is %s, not a regular phone file, so no station "
                     "can read a phone there; remove it, then put a phone there with 'stagemark-phone insert "
                     "--port %d'\n",
                     args.port, PhonePath(folder, args.port).c_str(), desk::KindText(kind), args.port);
        return kFailure;
    }
    std::printf("%s\n", PhonePath(folder, args.port).c_str());
    return 0;
}

int Set(const Arguments& args) {
    signed char states[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    for (const std::string& word : args.words) {
        const std::size_t equals = word.find('=');
        const int slot = StageSlot(word.substr(0, equals));
        const int state = equals == std::string::npos ? -1 : StateValue(word.substr(equals + 1));
        if (slot < 0 || state < 0) {
            return Usage("'" + word + "' is not STAGE=STATE (stages: BSN BT CT LAMA FT IMEI RES1 RES2; states: " +
                         "passed, failed, unrecorded)");
        }
        if (states[slot] != -1) return Usage(std::string(format::kStages[slot].name) + " is given twice");
        states[slot] = static_cast<signed char>(state);
    }
    const desk::Folder folder = desk::Folder::Open();
    const desk::CommandOutcome outcome = desk::SetPhoneStages(folder, args.port, states);
    switch (outcome.result) {
        case desk::CommandResult::Done: break;
        case desk::CommandResult::NoPhone:
            std::fprintf(stderr,
                         "stagemark-phone: setting stages on COM%d failed: no sound phone there; put one there with "
                         "'stagemark-phone insert --port %d'\n",
                         args.port, args.port);
            return kFailure;
        default: return Refused("setting stages", args.port, outcome);
    }
    std::string done;
    for (int slot = 0; slot < 8; ++slot) {
        if (states[slot] == -1) continue;
        const char* word = states[slot] == 0 ? "not recorded" : states[slot] == 1 ? "passed" : "failed";
        done += (done.empty() ? "" : ", ") + std::string(format::kStages[slot].name) + " " + word;
    }
    std::printf("phone on COM%d: %s\n", args.port, done.c_str());
    return 0;
}

}  // namespace phone_tool
