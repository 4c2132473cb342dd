// The tool's commands, run on an open link with the test handle open.
#pragma once

#include "library.hpp"
#include "options.hpp"

namespace tool {

int ShowStatus(const Exports& library, const Options& options, const TestHandle& copy);
int RecordResult(const Exports& library, const Options& options, const TestHandle& copy);
int CheckRoute(const Exports& library, const Options& options);

}  // namespace tool
