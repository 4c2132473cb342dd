// The tool's commands, run on an open link with the test handle open.
#pragma once

#include "options.hpp"

namespace tool {

inline constexpr int kExitRefused = 1;
inline constexpr int kExitFailure = 2;

// One line on stderr naming the step that failed.
void ReportFailure(const char* step, int port);

int ShowStatus(const Options& options, const TestHandle& copy);
int RecordResult(const Options& options, const TestHandle& copy);
int CheckRoute(const Options& options);

}  // namespace tool
