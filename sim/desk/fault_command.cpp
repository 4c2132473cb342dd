// Planning faults for the station processes to come, and listing or clearing them.
#include <cstdio>
#include <string>

#include "desk_commands.hpp"
#include "desk_faults.hpp"
#include "desk_ops.hpp"

namespace desk {
namespace {

int List(int port) {
    std::size_t damaged = 0;
    const std::vector<sim::DeskFault> faults = sim::DeskFaults(port, damaged);
    if (faults.empty()) std::printf("no fault planned on COM%d\n", port);
    for (const sim::DeskFault& fault : faults) {
        std::printf("COM%d: the next %s %s\n", port, sim::kOpNames[fault.op],
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

int Failed(const Arguments& args, const char* what) {
    std::fprintf(stderr, "stagemark-phone: %s on COM%d failed: %s\n", what, args.port,
                 DeskReason("the desk folder could not be written; check its permissions").c_str());
    return kFailure;
}

}  // namespace

int Fault(const Arguments& args) {
    const bool clear = args.flags.count("--clear") != 0;
    const bool once = args.flags.count("--once") != 0, from_now = args.flags.count("--from-now") != 0;
    if (once && from_now) return Usage("--once and --from-now exclude each other");
    if (clear) {
        if (once || from_now || !args.words.empty()) return Usage("--clear takes no operation");
        if (!sim::ClearDeskFaults(args.port)) return Failed(args, "clearing the faults");
        std::printf("no fault planned on COM%d\n", args.port);
        return 0;
    }
    if (args.words.empty()) {
        if (once || from_now) return Usage("fault needs an operation: tls open init detect read write close free");
        return List(args.port);
    }
    const auto op = sim::OpFromName(args.words.front());
    if (!op) {
        return Usage("unknown operation '" + args.words.front() + "' (tls open init detect read write close free)");
    }
    if (!sim::PlanDeskFault(args.port, {*op, from_now})) return Failed(args, "planning the fault");
    std::printf("COM%d: the next %s %s\n", args.port, sim::kOpNames[*op],
                from_now ? "fails, and every one after it until cleared" : "fails, once");
    return 0;
}

}  // namespace desk
