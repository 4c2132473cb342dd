#include "desk_arguments.hpp"

#include <cstdio>
#include <cstdlib>

namespace phone_tool {
namespace {

struct CommandShape {
    const char* name;
    std::set<std::string> flags;  // the flags it takes
    std::size_t min_words, max_words;
    bool takes_bsn;
    const char* words;  // what the words are, for a usage error
};

const CommandShape kShapes[] = {
    {"insert", {"--erased"}, 0, 0, true, "no words"},
    {"remove", {}, 0, 0, false, "no words"},
    {"where", {}, 0, 0, false, "no words"},
    {"set", {}, 1, 8, false, "one to eight STAGE=STATE words, such as BT=failed"},
    {"fault", {"--once", "--from-now", "--clear"}, 0, 1, false, "one operation, such as write"},
    {"trace", {"--json", "--clear"}, 0, 0, false, "no words"},
    {"pace", {}, 1, 1, false, "on or off"},
};

// Plain decimal only, without a leading zero: " 1", "+1" and "01" are refused.
std::string ParsePort(const char* value, int& port) {
    char* end = nullptr;
    const bool plain = value[0] >= '0' && value[0] <= '9' && (value[0] != '0' || value[1] == '\0');
    const long number = plain ? std::strtol(value, &end, 10) : -1;
    if (!plain || *end != '\0' || number < 0 || number > 255) {
        return "port '" + std::string(value) + "' is not a number from 0 to 255";
    }
    port = static_cast<int>(number);
    return "";
}

}  // namespace

int Usage(const std::string& message) {
    std::fprintf(stderr, "stagemark-phone: %s (see stagemark-phone --help)\n", message.c_str());
    return kUsageError;
}

std::string ParseArguments(int argc, char** argv, Arguments& out) {
    out.command = argv[1];
    const CommandShape* shape = nullptr;
    for (const CommandShape& candidate : kShapes) {
        if (out.command == candidate.name) shape = &candidate;
    }
    if (shape == nullptr) return "unknown command '" + out.command + "'";
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--port" || (arg == "--bsn" && shape->takes_bsn)) {
            if (i + 1 >= argc) return arg + " needs a value";
            const char* value = argv[++i];
            if (arg == "--bsn") {
                if (out.bsn != nullptr) return "--bsn is given twice";
                out.bsn = value;
            } else if (out.port >= 0) {
                return "--port is given twice";
            } else if (const std::string problem = ParsePort(value, out.port); !problem.empty()) {
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
    if (out.port < 0) return "--port is required";
    if (out.words.size() < shape->min_words || out.words.size() > shape->max_words) {
        return out.command + " takes " + shape->words;
    }
    return "";
}

}  // namespace phone_tool
