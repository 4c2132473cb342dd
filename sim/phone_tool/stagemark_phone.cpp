// stagemark-phone: the desk. Puts a simulated phone on a serial port or takes it away,
// sets its stages, plans faults, paces the link, and shows what station programs did.
// Station programs on the same desk meet all this through the stand-in libraries.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#ifndef _WIN32
#include <fcntl.h>
#endif

#include "desk_commands.hpp"
#include "desk_folder.hpp"

namespace {

struct CommandHelp {
    const char* name;
    const char* text;  // its lines of the help, each usage line starting "  NAME --port N"
};

constexpr CommandHelp kCommandHelp[] = {
    {"insert",
     "  insert --port N [--bsn DIGITS]   put a new phone (no stage recorded) on the port; the BSN\n"
     "                                   is ten digits, 3579024680 unless given. Refused while a\n"
     "                                   phone file is already there.\n"
     "  insert --port N --erased         put a phone whose record was never written (all 0xFF,\n"
     "                                   as erased flash) on the port\n"},
    {"remove", "  remove --port N                  take the port's phone away, with its record\n"},
    {"move",
     "  move --from N --to M             carry the phone on port N, with its record, to port M,\n"
     "                                   as an operator carries it to the next station. Refused\n"
     "                                   while either port is held, with no phone on N, or with\n"
     "                                   a phone file on M; faults, pacing and trace stay with\n"
     "                                   their ports.\n"},
    {"where",
     "  where --port N                   print the file that holds the port's phone; with no\n"
     "                                   phone there, or a link, a FIFO or a folder in place\n"
     "                                   of its file, say so (exit 1)\n"},
    {"set",
     "  set --port N STAGE=STATE...      set stages: STATE is passed, failed or unrecorded;\n"
     "                                   passed and failed are stamped now. Example:\n"
     "                                   set --port 1 BSN=passed BT=failed\n"},
    {"fault",
     "  fault --port N OP [--once|--from-now]\n"
     "                                   the next station call OP on the port fails: once (the\n"
     "                                   default), or from now on until cleared. OP is one of\n"
     "                                   tls open init detect read write close free, in the\n"
     "                                   order a station meets them; tls comes before any port\n"
     "                                   is named, so a tls fault meets the next station on the\n"
     "                                   desk, whichever port it opens.\n"
     "  fault --port N [--clear]         list the planned faults, or drop them\n"},
    {"trace",
     "  trace --port N [--json] [--clear]\n"
     "                                   the calls station programs made on the port, oldest\n"
     "                                   first, with the link's time for each record transfer,\n"
     "                                   the checks that caught a station's mistakes, and a\n"
     "                                   total for each process; --clear empties the\n"
     "                                   trace of the whole desk. With --json, one JSON object\n"
     "                                   on stdout, for a failure too\n"},
    {"line",
     "  line LINEFILE --phones N [--faults RATE] [--stray RATE] [--seed S] [--pace]\n"
     "       [--limit SECONDS] [--json]\n"
     "                                   run the route of LINEFILE (NAME PORT STAGE COMMAND...\n"
     "                                   a line, {port} in the command standing for the port)\n"
     "                                   with N new phones: each station's command runs as its\n"
     "                                   own process, stopped after SECONDS (60); with RATE\n"
     "                                   each call may fail (--faults) and a phone that did not\n"
     "                                   pass goes on anyway (--stray, 0.2). The report: each\n"
     "                                   station's runs, exit codes and cycle times against the\n"
     "                                   link's floor, escapes, lost results and the trace's\n"
     "                                   checks. The line clears the desk's trace before each\n"
     "                                   station run. exit: 0 none found, 1 found, 2 desk failed\n"},
    {"pace",
     "  pace --port N on|off             while on, each record transfer on the port takes the\n"
     "                                   serial link's time (bytes x 10 / 115200 s)\n"},
};

constexpr const char* kCommonHelp =
    "The port is a number from 1 to 255 (1 is COM1); stages, states, operations and on|off\n"
    "are taken in any case; each option is given once. The desk is the folder STAGEMARK_SIM_DIR\n"
    "(a full path), or else stagemark-sim in the temp folder, private to its user. A command\n"
    "that changes a phone waits up to 10 s for a station whose link holds the port, then refuses.\n"
    "exit: 0 done, 1 the desk refused or failed, 64 usage error, 74 output failed\n";

bool IsHelp(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

std::string WholeHelp() {
    std::string help = "usage: stagemark-phone COMMAND --port N ...\n       stagemark-phone --version\n\n";
    for (const CommandHelp& command : kCommandHelp) help += command.text;
    return help + "\n" + kCommonHelp;
}

// One command's lines, its first usage line as the usage.
std::string OwnHelp(const CommandHelp& command) {
    const std::string_view text = command.text;
    const std::string_view first = text.substr(2, text.find('\n') - 2);
    const std::string_view usage = first.substr(0, first.find("   "));
    return "usage: stagemark-phone " + std::string(usage) + "\n\n" + command.text + "\n" + kCommonHelp;
}

int Run(const phone_tool::Arguments& args) {
    if (args.command == "insert") return phone_tool::Insert(args);
    if (args.command == "remove") return phone_tool::Remove(args);
    if (args.command == "move") return phone_tool::Move(args);
    if (args.command == "where") return phone_tool::Where(args);
    if (args.command == "set") return phone_tool::Set(args);
    if (args.command == "fault") return phone_tool::Fault(args);
    if (args.command == "trace") return phone_tool::Trace(args);
    return phone_tool::Pace(args);
}

// What a command that went through changed on the desk, for when its report is lost; empty
// for a command that only shows.
std::string Changed(const phone_tool::Arguments& args) {
    const std::string com = "COM" + std::to_string(args.port);
    const bool clear = args.flags.count("--clear") != 0;
    if (args.command == "insert") {
        return args.flags.count("--erased") != 0 ? "a new erased phone was put on " + com : "a new phone was put on " + com;
    }
    if (args.command == "remove") return "the phone was taken off " + com;
    if (args.command == "move") {
        return "the phone was moved from COM" + std::to_string(args.from) + " to COM" + std::to_string(args.to);
    }
    if (args.command == "set") return "the stages were set on " + com;
    if (args.command == "fault" && clear) return "the faults planned on " + com + " were dropped";
    if (args.command == "fault" && !args.words.empty()) return "the fault was planned on " + com;
    if (args.command == "pace") return "the pacing of " + com + " was set";
    if (args.command == "trace" && clear) return "the desk's trace was cleared";
    return "";
}

int OutputLost(const std::string& what) {
    std::fprintf(stderr, "stagemark-phone: writing the output failed: standard output is closed or full; %s\n",
                 what.c_str());
    return phone_tool::kOutputError;
}

bool OutputWritten() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

int Shown(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    return OutputWritten() ? 0 : OutputLost("nothing was done; run it again with an output that can be written");
}

bool StdoutOpen() {
#ifdef _WIN32
    return true;
#else
    return fcntl(1, F_GETFD) != -1;
#endif
}

int Main(int argc, char** argv) {
    if (argc < 2) return phone_tool::Usage("no command given");
    if (IsHelp(argv[1])) return Shown(WholeHelp());
    if (std::strcmp(argv[1], "--version") == 0) {
        if (argc > 2) return phone_tool::Usage("--version takes nothing more");
        return Shown(std::string("stagemark-phone ") + STAGEMARK_VERSION + "\n");
    }
    for (int i = 2; i < argc; ++i) {
        if (!IsHelp(argv[i])) continue;
        for (const CommandHelp& command : kCommandHelp) {
            if (std::strcmp(argv[1], command.name) == 0) return Shown(OwnHelp(command));
        }
        return phone_tool::Usage("unknown command '" + std::string(argv[1]) + "'");
    }
    if (std::strcmp(argv[1], "line") == 0) {
        if (!StdoutOpen()) return OutputLost("nothing was done; run it with an open standard output");
        const int code = phone_tool::Line(argc, argv);
        return OutputWritten() ? code : OutputLost("the line ran and its phones left the desk; only its report is lost");
    }
    const bool json = phone_tool::JsonWanted(argc, argv);
    phone_tool::Arguments args;
    if (const std::string problem = phone_tool::ParseArguments(argc, argv, args); !problem.empty()) {
        return phone_tool::Usage(problem, json);
    }
    if (const std::string refusal = desk::DeskPathRefusal(); !refusal.empty()) {
        return phone_tool::Usage(refusal, json);
    }
    // Nothing is changed on the desk that could not be reported.
    if (!StdoutOpen()) {
        return OutputLost("nothing was done; run it with an open standard output");
    }
    const int code = Run(args);
    if (OutputWritten()) return code;
    const std::string changed = code == 0 ? Changed(args) : "";
    return OutputLost(changed.empty() ? "nothing was changed on the desk"
                                      : changed + "; only this report of it is lost");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& error) {
        // Out of memory, most likely: a clear failure rather than an abort.
        std::fprintf(stderr, "stagemark-phone: running the command failed: %s; close other programs and try again\n",
                     error.what());
        if (phone_tool::JsonWanted(argc, argv)) {
            std::printf("{\"error\": \"running the command failed; close other programs and try again\", "
                        "\"step\": \"run\", \"port\": null}\n");
        }
        return phone_tool::kFailure;
    }
}
