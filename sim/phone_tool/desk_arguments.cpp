#include "desk_arguments.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "json_text.hpp"

namespace phone_tool {
namespace {

struct CommandShape {
    const char* name;
    std::set<std::string> flags;  // the flags it takes
    std::size_t min_words, max_words;
    bool takes_bsn;
    bool moves;  // --from and --to in place of --port
    const char* words;  // what the words are, for a usage error
};

const CommandShape kShapes[] = {
    {"insert", {"--erased"}, 0, 0, true, false, "no words"},
    {"remove", {}, 0, 0, false, false, "no words"},
    {"where", {}, 0, 0, false, false, "no words"},
    {"set", {}, 1, 8, false, false, "one to eight STAGE=STATE words, such as BT=failed"},
    {"fault", {"--once", "--from-now", "--clear"}, 0, 1, false, false, "one operation, such as write"},
    {"trace", {"--json", "--clear"}, 0, 0, false, false, "no words"},
    {"pace", {}, 1, 1, false, false, "on or off"},
    {"move", {}, 0, 0, false, true, "no words"},
};

const CommandShape* Shape(const std::string& command) {
    for (const CommandShape& candidate : kShapes) {
        if (command == candidate.name) return &candidate;
    }
    return nullptr;
}

void PrintJson(const std::string& message, const char* step, const std::string& port) {
    std::printf("{\"error\": %s, \"step\": %s, \"port\": %s}\n", format::JsonString(message).c_str(),
                format::JsonString(step).c_str(), port.c_str());
}

}  // namespace

// Plain decimal only, without a leading zero: " 1", "+1" and "01" are refused. So is 0: no
// station's link opens COM0, and a phone put there could never be reached.
std::string ParsePort(const char* value, int& port) {
    char* end = nullptr;
    const bool plain = value[0] >= '1' && value[0] <= '9';
    const long number = plain ? std::strtol(value, &end, 10) : -1;
    if (!plain || *end != '\0' || number > 255) {
        return "port '" + std::string(value) + "' is not a number from 1 to 255, COM1 to COM255";
    }
    port = static_cast<int>(number);
    return "";
}

bool JsonAmongArguments(int argc, char** argv) {
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) return true;
    }
    return false;
}

bool JsonWanted(int argc, char** argv) {
    const CommandShape* shape = argc > 1 ? Shape(argv[1]) : nullptr;
    return shape != nullptr && shape->flags.count("--json") != 0 && JsonAmongArguments(argc, argv);
}

int Usage(const std::string& message, bool json) {
    const std::string said = message + " (see stagemark-phone --help)";
    std::fprintf(stderr, "stagemark-phone: %s\n", said.c_str());
    if (json) PrintJson(said, "usage", "null");
    return kUsageError;
}

int Failed(const std::string& message, const char* step, int port, bool json) {
    std::fprintf(stderr, "stagemark-phone: %s\n", message.c_str());
    if (json) PrintJson(message, step, std::to_string(port));
    return kFailure;
}

std::string ParseArguments(int argc, char** argv, Arguments& out) {
    out.command = argv[1];
    const CommandShape* shape = Shape(out.command);
    if (shape == nullptr) return "unknown command '" + out.command + "'";
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        int* port = arg == "--port" && !shape->moves                ? &out.port
                    : arg == "--from" && shape->moves                ? &out.from
                    : arg == "--to" && shape->moves                  ? &out.to
                                                                     : nullptr;
        if (port != nullptr || (arg == "--bsn" && shape->takes_bsn)) {
            if (i + 1 >= argc) return arg + " needs a value";
            const char* value = argv[++i];
            if (port == nullptr) {
                if (out.bsn != nullptr) return "--bsn is given twice";
                out.bsn = value;
            } else if (*port >= 0) {
                return arg + " is given twice";
            } else if (const std::string problem = ParsePort(value, *port); !problem.empty()) {
                return problem;
            }
        } else if (shape->flags.count(arg) != 0) {
            if (!out.flags.insert(arg).second) return arg + " is given twice";
        } else if (arg.starts_with("-")) {
            return "unknown argument '" + arg + "' for " + out.command;
        } else {
            out.words.push_back(arg);
        }
    }
    if (shape->moves) {
        if (out.from < 0 || out.to < 0) return "move needs --from N and --to M";
        if (out.from == out.to) return "--from and --to name the same port: a move needs two ports";
    } else if (out.port < 0) {
        return "--port is required";
    }
    if (out.words.size() < shape->min_words || out.words.size() > shape->max_words) {
        return out.command + " takes " + shape->words;
    }
    return "";
}

}  // namespace phone_tool
