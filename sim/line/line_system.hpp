// What the line asks of the system: finding a station's program, running it as a process
// of its own with a time limit, and reading the line file. Each platform has its own file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace line {

// A word with a path separator is a file relative to the current folder; a bare name is
// looked up on PATH. Windows also tries the name with .exe.
std::optional<std::filesystem::path> FindProgram(const std::string& word);

struct StationRun {
    bool started = false;
    bool timed_out = false;  // stopped at the time limit
    int exit_code = 0;       // when it ended by itself
    int signal = 0;          // when a signal ended it, not the line's limit: its number
    std::string problem;     // when it could not start: why
};

// Runs the program with the arguments, never through a shell, its input and output the
// null device; stops it when it runs past `limit_seconds`.
StationRun RunStation(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                      int limit_seconds);

// The file's text: only a regular file, opened without waiting, and at most `limit` bytes.
// Empty `problem` when read.
std::string ReadPlainFile(const std::filesystem::path& path, std::size_t limit, std::string& text);

}  // namespace line
