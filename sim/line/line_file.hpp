// A line file: the route a phone takes, one station a line, `NAME PORT STAGE COMMAND...`.
// The stations meet a phone in the file's order; `{port}` in the command stands for the
// station's port; a word beginning with `#` starts a comment, and blank lines are allowed.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace line {

// The longest station name: the report's column holds it.
inline constexpr std::size_t kNameLimit = 32;

struct Station {
    int line_number = 0;
    std::string name;
    int port = 0;
    int slot = 0;                        // the stage it records, as format::kStages places it
    std::filesystem::path program;       // where the command's first word was found
    std::vector<std::string> arguments;  // the words after it, {port} replaced
};

struct Route {
    std::vector<Station> stations;
    std::string problem;  // empty when the file is sound; else the line number and what is wrong
};

// Where a command's first word is found as a program, or nothing.
using ProgramFinder = std::function<std::optional<std::filesystem::path>(const std::string& word)>;

Route ParseRoute(std::string_view text, const ProgramFinder& find);

}  // namespace line
