// Putting a phone on a port, taking it away, finding it, and setting its stages.
#include <cstdio>
#include <cstring>
#include <string>

#include "desk_commands.hpp"
#include "desk_ops.hpp"
#include "stagemark_sim.h"

namespace desk {
namespace {

using sim::kStageNames;

int StageSlot(std::string name) {
    for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    for (int slot = 0; slot < 8; ++slot) {
        if (name == kStageNames[slot]) return slot;
    }
    return -1;
}

int StateValue(const std::string& state) {
    if (state == "unrecorded") return 0;
    if (state == "passed") return 1;
    if (state == "failed") return 2;
    return -1;
}

}  // namespace

std::string PhonePath(int port) {
    char path[4096];
    return sim_phone_path(port, path, sizeof path) > 0 ? path : "";
}

std::string DeskReason(const std::string& fallback) {
    char problem[4096];
    return sim_desk_problem(problem, sizeof problem) > 0 ? problem : fallback;
}

int Insert(const Arguments& args) {
    const char* bsn = args.bsn != nullptr ? args.bsn : "3579024680";
    unsigned char record[SIM_RECORD_SIZE];
    if (!sim_new_record(bsn, record)) return Usage("the BSN '" + std::string(bsn) + "' is not ten decimal digits");
    const std::string path = PhonePath(args.port);
    switch (sim_insert_phone(args.port, bsn)) {
        case SIM_DESK_DONE: std::printf("new phone %s on COM%d\n", bsn, args.port); return 0;
        case SIM_DESK_PHONE_THERE:
            std::fprintf(stderr,
                         "stagemark-phone: inserting a phone on COM%d refused: a phone file is already there (%s); "
                         "take it away first with 'stagemark-phone remove --port %d'\n",
                         args.port, path.c_str(), args.port);
            return kFailure;
        default:
            std::fprintf(stderr, "stagemark-phone: inserting a phone on COM%d failed: %s\n", args.port,
                         DeskReason(path + " could not be written; check that the desk folder is writable, or set "
                                           "STAGEMARK_SIM_DIR to one that is")
                             .c_str());
            return kFailure;
    }
}

int Remove(const Arguments& args) {
    const std::string path = PhonePath(args.port);
    switch (sim_remove_phone(args.port)) {
        case SIM_DESK_DONE: std::printf("phone taken off COM%d\n", args.port); return 0;
        case SIM_DESK_NO_PHONE:
            std::fprintf(stderr, "stagemark-phone: no phone on COM%d (%s)\n", args.port, path.c_str());
            return kFailure;
        default:
            std::fprintf(stderr, "stagemark-phone: removing the phone on COM%d failed: %s\n", args.port,
                         DeskReason(path + " could not be removed; check the desk folder's permissions").c_str());
            return kFailure;
    }
}

int Where(const Arguments& args) {
    const std::string path = PhonePath(args.port);
    if (path.empty()) {
        std::fprintf(stderr, "stagemark-phone: finding the desk folder failed: its path is too long or cannot be "
                             "shown; set STAGEMARK_SIM_DIR to a shorter folder\n");
        return kFailure;
    }
    std::printf("%s\n", path.c_str());
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
        if (states[slot] != -1) return Usage(std::string(kStageNames[slot]) + " is given twice");
        states[slot] = static_cast<signed char>(state);
    }
    switch (sim_set_stages(args.port, states)) {
        case SIM_DESK_DONE: break;
        case SIM_DESK_NO_PHONE:
            std::fprintf(stderr,
                         "stagemark-phone: setting stages on COM%d failed: no sound phone there; put one there with "
                         "'stagemark-phone insert --port %d'\n",
                         args.port, args.port);
            return kFailure;
        default:
            std::fprintf(stderr, "stagemark-phone: setting stages on COM%d failed: %s\n", args.port,
                         DeskReason(PhonePath(args.port) + " could not be written; check the desk folder").c_str());
            return kFailure;
    }
    std::string done;
    for (int slot = 0; slot < 8; ++slot) {
        if (states[slot] == -1) continue;
        const char* word = states[slot] == 0 ? "not recorded" : states[slot] == 1 ? "passed" : "failed";
        done += (done.empty() ? "" : ", ") + std::string(kStageNames[slot]) + " " + word;
    }
    std::printf("phone on COM%d: %s\n", args.port, done.c_str());
    return 0;
}

}  // namespace desk
