// The station tool's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "stages.hpp"

namespace tool {

enum class Command { Status, Pass, Fail, Check, Decode };

struct Options {
    Command command = Command::Status;
    int port = -1;
    std::optional<int> detect;
    bool json = false;
    std::vector<const format::StageEntry*> stages;
    std::string file;  // decode
};

struct Parsed {
    std::optional<Options> options;  // empty: help was shown, or a usage error
    int exit_code = 0;               // 0 after help, 64 after a usage error
};

// Parses argv; prints help to stdout or a usage error to stderr itself.
Parsed ParseOptions(int argc, char** argv);

}  // namespace tool
