// The tool's commands, run on an open link with the test handle open.
#pragma once

#include <optional>

#include "fixed_fields.hpp"
#include "library.hpp"
#include "options.hpp"

namespace tool {

// `fixed`: the record's fixed fields that differ from stagemark's, when they can be seen.
int ShowStatus(const Exports& library, const Options& options, const TestHandle& copy,
               const std::optional<Differing>& fixed);
int RecordResult(const Exports& library, const Options& options, const TestHandle& copy);
int CheckRoute(const Exports& library, const Options& options, const std::optional<Differing>& fixed);

}  // namespace tool
