// The command line of stagemark-phone: a command, the port, and what the command takes;
// and how a failure is told: one line on stderr, and for a command that takes --json and was
// given it, also one JSON object on stdout, since a script that asked for JSON reads stdout.
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
    int from = -1, to = -1;          // move's two ports
    const char* bsn = nullptr;
    std::set<std::string> flags;     // --json, --clear, --once, --from-now
    std::vector<std::string> words;  // STAGE=STATE, OP, on|off
};

// A port from 1 to 255 in plain decimal: empty when `value` is one, else what is wrong.
std::string ParsePort(const char* value, int& port);

// Empty when the command line is sound; otherwise what is wrong with it.
std::string ParseArguments(int argc, char** argv, Arguments& out);

// Whether --json is among the arguments after the command word, however wrong the rest is.
bool JsonAmongArguments(int argc, char** argv);

// Whether failures are told in JSON too: the command takes --json, and it is among the
// arguments, however wrong the rest of the command line is.
bool JsonWanted(int argc, char** argv);

// Prints a usage error and returns kUsageError. No port is named in the JSON: none on a
// refused command line is trusted.
int Usage(const std::string& message, bool json = false);

// Prints a failure of the step ("desk", "read") on the port, and returns kFailure.
int Failed(const std::string& message, const char* step, int port, bool json);

}  // namespace phone_tool
