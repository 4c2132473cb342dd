// stagemark-phone: the desk. Puts a simulated phone on a serial port or takes it away,
// sets its stages, plans faults, paces the link, and shows what station programs did.
// Station programs on the same desk meet all this through the stand-in libraries.
#include <cstdio>
#include <exception>
#include <cstring>
#include <string>

#include "desk_commands.hpp"

namespace {

constexpr const char* kHelp =
    "usage: stagemark-phone COMMAND --port N ...\n"
    "\n"
    "  insert --port N [--bsn DIGITS]   put a new phone (no stage recorded) on the port; the BSN\n"
    "                                   is ten digits, 3579024680 unless given. Refused while a\n"
    "                                   phone file is already there.\n"
    "  insert --port N --erased         put a phone whose record was never written (all 0xFF,\n"
    "                                   as erased flash) on the port\n"
    "  remove --port N                  take the port's phone away, with its record\n"
    "  where --port N                   print the file that holds the port's phone\n"
    "  set --port N STAGE=STATE...      set stages: STATE is passed, failed or unrecorded;\n"
    "                                   passed and failed are stamped now. Example:\n"
    "                                   set --port 1 BSN=passed BT=failed\n"
    "  fault --port N OP [--once|--from-now]\n"
    "                                   the next station call OP on the port fails: once (the\n"
    "                                   default), or from now on until cleared. OP is one of\n"
    "                                   tls open init detect read write close free, in the\n"
    "                                   order a station meets them; tls comes before any port\n"
    "                                   is named, so a tls fault meets the next station on the\n"
    "                                   desk, whichever port it opens.\n"
    "  fault --port N [--clear]         list the planned faults, or drop them\n"
    "  trace --port N [--json] [--clear]\n"
    "                                   the calls station programs made on the port, oldest\n"
    "                                   first, with the link's time for each record transfer,\n"
    "                                   the checks that caught a station's mistakes, and a\n"
    "                                   total for each process; --clear empties the\n"
    "                                   trace of the whole desk\n"
    "  pace --port N on|off             while on, each record transfer on the port takes the\n"
    "                                   serial link's time (bytes x 10 / 115200 s)\n"
    "\n"
    "The port is a number from 0 to 255 (1 is COM1); stages are named in any case; each option\n"
    "is given once. The desk is the folder STAGEMARK_SIM_DIR, or else stagemark-sim in the temp\n"
    "folder, private to its user. A command that changes a phone waits up to 10 s for a station\n"
    "whose link holds the port, then refuses.\n"
    "exit: 0 done, 1 the desk refused or failed, 64 usage error, 74 output failed\n";

bool IsHelp(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

int Run(const phone_tool::Arguments& args) {
    if (args.command == "insert") return phone_tool::Insert(args);
    if (args.command == "remove") return phone_tool::Remove(args);
    if (args.command == "where") return phone_tool::Where(args);
    if (args.command == "set") return phone_tool::Set(args);
    if (args.command == "fault") return phone_tool::Fault(args);
    if (args.command == "trace") return phone_tool::Trace(args);
    return phone_tool::Pace(args);
}

int Main(int argc, char** argv) {
    if (argc < 2) return phone_tool::Usage("no command given");
    for (int i = 1; i < argc; ++i) {
        if (IsHelp(argv[i])) return std::fputs(kHelp, stdout) < 0 || std::fflush(stdout) != 0 ? phone_tool::kOutputError : 0;
    }
    phone_tool::Arguments args;
    if (const std::string problem = phone_tool::ParseArguments(argc, argv, args); !problem.empty()) {
        return phone_tool::Usage(problem);
    }
    const int code = Run(args);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "stagemark-phone: writing the output failed: standard output is closed or full\n");
        return phone_tool::kOutputError;
    }
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& error) {
        // Out of memory, most likely: a clear failure rather than an abort.
        std::fprintf(stderr, "stagemark-phone: running the command failed: %s; close other programs and try again\n",
                     error.what());
        return phone_tool::kFailure;
    }
}
