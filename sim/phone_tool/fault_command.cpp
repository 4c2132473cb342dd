// Planning faults for the station processes to come, and listing or clearing them.
#include <cstdio>
#include <string>

#include "desk_commands.hpp"
#include "desk_faults.hpp"
#include "op_names.hpp"

namespace phone_tool {
namespace {

int List(const desk::Folder& folder, int port) {
    const desk::PlannedFaults planned = desk::ListFaults(folder, port);
    const std::vector<desk::DeskFault>& faults = planned.faults;
    const std::size_t damaged = planned.damaged;
    if (faults.empty()) std::printf("no fault planned on COM%d\n", port);
    for (const desk::DeskFault& fault : faults) {
        std::printf("COM%d: the next %s %s\n", port, desk::kOpNames[fault.op],
                    fault.from_now ? "fails, and every one after it until cleared" : "fails, once");
    }
    if (damaged > 0) {
        std::fprintf(stderr,
                     "stagemark-phone: %zu planned fault(s) on COM%d could not be read; clear them with "
                     "'stagemark-phone fault --port %d --clear'\n",
                     damaged, port, port);
        return kFailure;
    }
    return 0;
}

int Failed(const Arguments& args, const char* what, const std::string& problem) {
    std::fprintf(stderr, "stagemark-phone: %s on COM%d failed: %s\n", what, args.port, problem.c_str());
    return kFailure;
}

}  // namespace

int Fault(const Arguments& args) {
    const desk::Folder folder = desk::Folder::Open();
    const bool clear = args.flags.count("--clear") != 0;
    const bool once = args.flags.count("--once") != 0, from_now = args.flags.count("--from-now") != 0;
    if (once && from_now) return Usage("--once and --from-now exclude each other");
    if (!folder.Usable()) return FolderRefused(folder);
    if (clear) {
        if (once || from_now || !args.words.empty()) return Usage("--clear takes no operation");
        if (const std::string problem = desk::ClearFaults(folder, args.port); !problem.empty()) {
            return Failed(args, "clearing the faults", problem);
        }
        std::printf("no fault planned on COM%d\n", args.port);
        return 0;
    }
    if (args.words.empty()) {
        if (once || from_now) return Usage("fault needs an operation: tls open init detect read write close free");
        return List(folder, args.port);
    }
    const auto op = desk::OpFromName(args.words.front());
    if (!op) {
        return Usage("unknown operation '" + args.words.front() + "' (tls open init detect read write close free)");
    }
    if (const std::string problem = desk::PlanFault(folder, args.port, {*op, from_now}); !problem.empty()) {
        return Failed(args, "planning the fault", problem);
    }
    std::printf("COM%d: the next %s %s\n", args.port, desk::kOpNames[*op],
                from_now ? "fails, and every one after it until cleared" : "fails, once");
    return 0;
}

}  // namespace phone_tool
