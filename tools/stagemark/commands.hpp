// The tool's commands, run on an open link with the test handle open. Their JSON object
// goes to the report, printed once the link is closed.
#pragma once

#include <optional>

#include "failure.hpp"
#include "fixed_fields.hpp"
#include "library.hpp"
#include "options.hpp"

namespace tool {

// `fixed`: the record's fixed fields that differ from stagemark's, when they can be seen.
int ShowStatus(const Exports& library, const Options& options, const TestHandle& copy,
               const std::optional<Differing>& fixed, Report& report);
int RecordResult(const Exports& library, const Options& options, const TestHandle& copy, Report& report);
int CheckRoute(const Exports& library, const Options& options, const std::optional<Differing>& fixed,
               Report& report);

}  // namespace tool
