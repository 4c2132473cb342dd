// The command line of stagemark-phone: a command, the port, and what the command takes.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace phone_tool {

inline constexpr int kFailure = 1;
inline constexpr int kUsageError = 64;
inline constexpr int kOutputError = 74;

struct Arguments {
    std::string command;
    int port = -1;
    const char* bsn = nullptr;
    std::set<std::string> flags;     // --json, --clear, --once, --from-now
    std::vector<std::string> words;  // STAGE=STATE, OP, on|off
};

// Empty when the command line is sound; otherwise what is wrong with it.
std::string ParseArguments(int argc, char** argv, Arguments& out);

// Prints a usage error and returns kUsageError.
int Usage(const std::string& message);

}  // namespace phone_tool
