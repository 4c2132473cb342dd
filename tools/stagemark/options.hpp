// The station tool's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "stages.hpp"

namespace tool {

enum class Command { Status, Pass, Fail, Check, Decode, Version };

struct Options {
    Command command = Command::Status;
    int port = -1;
    std::optional<int> detect;
    bool json = false;
    std::vector<const format::StageEntry*> stages;
    std::string file;  // decode
};

struct Parsed {
    std::optional<Options> options;  // empty: help is to be shown, or a usage error was
    const char* help = nullptr;      // the help to show on stdout, when asked for
    int exit_code = 0;               // 0 for help, 64 after a usage error
};

// Parses argv. A usage error is reported here: on stderr, and with --json anywhere on the
// command line also as one JSON object on stdout. Help is left to the caller to print, so
// that it can tell when the help could not be written.
Parsed ParseOptions(int argc, char** argv);

// Whether --json is anywhere on the command line, however wrong the rest of it is.
bool JsonAnywhere(int argc, char** argv);

}  // namespace tool
