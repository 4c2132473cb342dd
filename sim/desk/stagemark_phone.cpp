// stagemark-phone: puts a simulated phone on a serial port of the desk, or takes it away.
// Station programs on the same desk then meet that phone through the stand-in driver.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "stagemark_sim.h"

namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 64;
constexpr int kOutputError = 74;

constexpr const char* kHelp =
    "usage: stagemark-phone insert --port N [--bsn DIGITS]\n"
    "       stagemark-phone remove --port N\n"
    "       stagemark-phone where --port N\n"
    "\n"
    "insert  put a new phone (no stage recorded) on the port; the BSN is ten digits,\n"
    "        3579024680 unless given. Refused while a phone file is already there.\n"
    "remove  take the port's phone away, with its record.\n"
    "where   print the file that holds the port's phone.\n"
    "\n"
    "The port is a number from 0 to 255 (1 is COM1). Phones are kept in STAGEMARK_SIM_DIR,\n"
    "or else in a stagemark-sim folder in the temp folder.\n"
    "exit: 0 done, 1 the desk refused or failed, 64 usage error, 74 output failed\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "stagemark-phone: %s (see stagemark-phone --help)\n", message.c_str());
    return kUsageError;
}

bool IsHelp(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

struct Arguments {
    std::string command;
    int port = -1;
    const char* bsn = nullptr;
};

// Empty on success, else what is wrong with the command line.
std::string Parse(int argc, char** argv, Arguments& out) {
    out.command = argv[1];
    if (out.command != "insert" && out.command != "remove" && out.command != "where") {
        return "unknown command '" + out.command + "'";
    }
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool takes_bsn = out.command == "insert" && arg == "--bsn";
        if (arg != "--port" && !takes_bsn) return "unknown argument '" + arg + "' for " + out.command;
        if (i + 1 >= argc) return arg + " needs a value";
        const char* value = argv[++i];
        if (takes_bsn) {
            if (out.bsn != nullptr) return "--bsn is given twice";
            out.bsn = value;
            continue;
        }
        if (out.port >= 0) return "--port is given twice";
        char* end = nullptr;
        const long number = std::strtol(value, &end, 10);
        if (end == value || *end != '\0' || number < 0 || number > 255) {
            return "port '" + std::string(value) + "' is not a number from 0 to 255";
        }
        out.port = static_cast<int>(number);
    }
    return out.port < 0 ? "--port is required" : "";
}

// Why a desk command failed, when the desk folder is the reason; else the fallback.
std::string DeskReason(const std::string& fallback) {
    char problem[4096];
    return sim_desk_problem(problem, sizeof problem) > 0 ? problem : fallback;
}

int Insert(const Arguments& args, const char* path) {
    const char* bsn = args.bsn != nullptr ? args.bsn : "3579024680";
    unsigned char record[SIM_RECORD_SIZE];
    if (!sim_new_record(bsn, record)) return Usage("the BSN '" + std::string(bsn) + "' is not ten decimal digits");
    switch (sim_insert_phone(args.port, bsn)) {
        case SIM_DESK_DONE: std::printf("new phone %s on COM%d\n", bsn, args.port); return 0;
        case SIM_DESK_PHONE_THERE:
            std::fprintf(stderr,
                         "stagemark-phone: inserting a phone on COM%d refused: a phone file is already there (%s); "
                         "take it away first with 'stagemark-phone remove --port %d'\n",
                         args.port, path, args.port);
            return kFailure;
        default:
            std::fprintf(stderr, "stagemark-phone: inserting a phone on COM%d failed: %s\n", args.port,
                         DeskReason(std::string(path) + " could not be written; check that the desk folder is "
                                                        "writable, or set STAGEMARK_SIM_DIR to one that is")
                             .c_str());
            return kFailure;
    }
}

int Remove(const Arguments& args, const char* path) {
    switch (sim_remove_phone(args.port)) {
        case SIM_DESK_DONE: std::printf("phone taken off COM%d\n", args.port); return 0;
        case SIM_DESK_NO_PHONE:
            std::fprintf(stderr, "stagemark-phone: no phone on COM%d (%s)\n", args.port, path);
            return kFailure;
        default:
            std::fprintf(stderr, "stagemark-phone: removing the phone on COM%d failed: %s\n", args.port,
                         DeskReason(std::string(path) + " could not be removed; check the desk folder's permissions")
                             .c_str());
            return kFailure;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage("no command given");
    for (int i = 1; i < argc; ++i) {
        if (IsHelp(argv[i])) return std::fputs(kHelp, stdout) < 0 || std::fflush(stdout) != 0 ? kOutputError : 0;
    }
    Arguments args;
    if (const std::string problem = Parse(argc, argv, args); !problem.empty()) return Usage(problem);

    char path[4096];
    if (sim_phone_path(args.port, path, sizeof path) == 0) {
        std::fprintf(stderr,
                     "stagemark-phone: finding the desk folder failed: its path is too long or cannot be "
                     "shown; set STAGEMARK_SIM_DIR to a shorter folder\n");
        return kFailure;
    }
    int code = 0;
    if (args.command == "where") {
        std::printf("%s\n", path);
    } else if (args.command == "remove") {
        code = Remove(args, path);
    } else {
        code = Insert(args, path);
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "stagemark-phone: writing the output failed: standard output is closed or full\n");
        return kOutputError;
    }
    return code;
}
