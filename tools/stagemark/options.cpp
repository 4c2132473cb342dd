#include "options.hpp"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "json_text.hpp"

namespace tool {
namespace {

constexpr int kUsageError = 64;

constexpr const char* kToolHelp =
    "usage: stagemark COMMAND [ARGS] --port N [--detect VALUE] [--json]\n"
    "       stagemark decode FILE [--json]\n"
    "       stagemark --version [--json]\n"
    "\n"
    "Shows and sets a phone's stage test record over the serial link.\n"
    "\n"
    "commands:\n"
    "  status          the BSN and every stage's status and recording time\n"
    "  pass STAGE      record a pass for the stage in the phone\n"
    "  fail STAGE      record a fail for the stage in the phone\n"
    "  check STAGE...  the route check: have all these stages passed?\n"
    "  decode FILE     show a saved record dump of 1036 bytes; needs no phone\n"
    "\n"
    "stages: BSN BT CT LAMA FT IMEI RES1 RES2 (any case)\n"
    "options:\n"
    "  --port N        serial port number, 0..255 (1 is COM1)\n"
    "  --detect VALUE  run the phone driver's detection loop first, handing it VALUE\n"
    "                  (a 32-bit number) unchanged. What VALUE selects is the vendor\n"
    "                  driver's own setting: see its documentation; 0 is the value\n"
    "                  the examples pass, and the desk's stand-in driver ignores it.\n"
    "                  Without --detect, no detection runs.\n"
    "  --json          one JSON object on stdout, for a failure too\n"
    "  --help          this text; 'stagemark COMMAND --help' for a command\n"
    "  --version       the tool's version, and the library it loads with its version\n"
    "Each option is given once.\n"
    "\n"
    "exit: 0 done, 1 route check refused, 2 link or phone failure, 64 usage error,\n"
    "      74 the output could not be written\n";

struct CommandHelp {
    std::string_view name;
    Command command;
    const char* text;
};

constexpr CommandHelp kCommands[] = {
    {"status", Command::Status,
     "usage: stagemark status --port N [--detect VALUE] [--json]\n"
     "Prints the phone's BSN, then each stage in order with its status (not recorded,\n"
     "passed, failed) and, for recorded stages, when it was last recorded (UTC).\n"
     "Writes nothing to the phone.\n"},
    {"pass", Command::Pass,
     "usage: stagemark pass STAGE --port N [--detect VALUE] [--json]\n"
     "Records a pass for STAGE in the phone, with the current time, and reports it.\n"},
    {"fail", Command::Fail,
     "usage: stagemark fail STAGE --port N [--detect VALUE] [--json]\n"
     "Records a fail for STAGE in the phone, with the current time, and reports it.\n"},
    {"decode", Command::Decode,
     "usage: stagemark decode FILE [--json]\n"
     "Shows a record dump (the 1036 bytes of record 1000, as a vendor's tool saves it) the\n"
     "way status shows a phone: the BSN, each stage's status and time (UTC), and whether\n"
     "the header and the fixed fields are as stagemark writes them. Needs no phone and no\n"
     "library; refuses a file of any other length (exit 2). A dump that is 0xFF throughout\n"
     "is shown as an erased record: flash never written, no stage recorded.\n"},
    {"check", Command::Check,
     "usage: stagemark check STAGE... --port N [--detect VALUE] [--json]\n"
     "The route check. Exits 0 when every named stage passed, 1 when any failed or\n"
     "was not recorded (and names which), 2 when the phone could not be reached or read.\n"
     "Writes nothing to the phone.\n"},
};

// A station script that asked for JSON reads stdout: it gets its object for a usage error
// too. No port is named: none on a refused command line is trusted.
Parsed ReportUsageError(bool json, const std::string& message) {
    std::fprintf(stderr, "stagemark: %s (see stagemark --help)\n", message.c_str());
    if (json) {
        std::printf("{\"error\": %s, \"step\": \"usage\", \"port\": null}\n",
                    format::JsonString(message + " (see stagemark --help)").c_str());
    }
    return Parsed{std::nullopt, nullptr, kUsageError};
}

// Plain decimal only: strtol would also take leading blanks and a plus sign.
std::optional<long> ParseInteger(const char* text, long lowest, long highest) {
    const char* digits = text[0] == '-' ? text + 1 : text;
    if (*digits < '0' || *digits > '9') return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < lowest || value > highest) return std::nullopt;
    return value;
}

}  // namespace

bool JsonAnywhere(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--json") return true;
    }
    return false;
}

Parsed ParseOptions(int argc, char** argv) {
    const bool json = JsonAnywhere(argc, argv);
    const auto UsageError = [json](const std::string& message) { return ReportUsageError(json, message); };
    if (argc < 2) return UsageError("no command given");
    const std::string_view first = argv[1];
    if (first == "--help" || first == "-h") return Parsed{std::nullopt, kToolHelp, 0};
    if (first == "--version") {
        Options options;
        options.command = Command::Version;
        for (int i = 2; i < argc; ++i) {
            if (std::string_view(argv[i]) != "--json") {
                return UsageError("--version takes only --json, not '" + std::string(argv[i]) + "'");
            }
            if (options.json) return UsageError("--json is given twice");
            options.json = true;
        }
        return Parsed{options, nullptr, 0};
    }
    const CommandHelp* command = nullptr;
    for (const CommandHelp& c : kCommands) {
        if (c.name == first) command = &c;
    }
    if (command == nullptr) return UsageError("unknown command '" + std::string(first) + "'");

    Options options;
    options.command = command->command;
    for (int i = 2; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") return Parsed{std::nullopt, command->text, 0};
        if (arg == "--json") {
            if (options.json) return UsageError("--json is given twice");
            options.json = true;
        } else if (arg == "--port" || arg == "--detect") {
            if (i + 1 >= argc) return UsageError(std::string(arg) + " needs a value");
            // The last of two values must never quietly win: it could mark another phone.
            if (arg == "--port" ? options.port >= 0 : options.detect.has_value()) {
                return UsageError(std::string(arg) + " is given twice");
            }
            const char* value = argv[++i];
            if (arg == "--port") {
                // "010" is refused, not read as 10 or as 8.
                const bool leading_zero = value[0] == '0' && value[1] != '\0';
                const std::optional<long> port = leading_zero ? std::nullopt : ParseInteger(value, 0, 255);
                if (!port) return UsageError("port '" + std::string(value) + "' is not a number from 0 to 255");
                options.port = static_cast<int>(*port);
            } else {
                const std::optional<long> detect = ParseInteger(value, INT_MIN, INT_MAX);
                if (!detect) return UsageError("detect value '" + std::string(value) + "' is not a 32-bit number");
                options.detect = static_cast<int>(*detect);
            }
        } else if (arg.starts_with("-")) {
            return UsageError("unknown option '" + std::string(arg) + "' for " + std::string(command->name));
        } else if (options.command == Command::Decode) {
            if (!options.file.empty()) return UsageError("decode takes one file");
            options.file = arg;
        } else if (options.command == Command::Status) {
            return UsageError("status takes no stage");
        } else {
            const format::StageEntry* stage = format::FindStage(arg);
            if (stage == nullptr) return UsageError("unknown stage '" + std::string(arg) + "'");
            options.stages.push_back(stage);
        }
    }
    if (options.command == Command::Decode) {
        if (options.port >= 0 || options.detect) return UsageError("decode reads a file, not a port");
        if (options.file.empty()) return UsageError("decode needs a file");
        return Parsed{options, nullptr, 0};
    }
    if (options.port < 0) return UsageError("--port is required");
    const bool one_stage = options.command == Command::Pass || options.command == Command::Fail;
    if (one_stage && options.stages.size() != 1) return UsageError(std::string(command->name) + " takes one stage");
    if (options.command == Command::Check && options.stages.empty()) return UsageError("check needs a stage");
    return Parsed{options, nullptr, 0};
}

}  // namespace tool
