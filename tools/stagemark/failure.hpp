// How the tool reports a failure: one line on stderr that names the step, the likely
// cause and what to try; with --json also one JSON object on stdout.
#pragma once

#include <string>

#include "options.hpp"

namespace tool {

inline constexpr int kExitRefused = 1;
inline constexpr int kExitFailure = 2;
inline constexpr int kExitOutputFailed = 74;  // EX_IOERR, as 64 is EX_USAGE

struct Step {
    const char* key;          // "read", as the JSON names it
    const char* description;  // "reading the phone's record"
};

inline constexpr Step kLoadStep{"load", "loading the library"};
inline constexpr Step kOpenStep{"open", "opening the link"};
inline constexpr Step kDetectStep{"detect", "detecting the phone"};
inline constexpr Step kReadStep{"read", "reading the phone's record"};
inline constexpr Step kCheckStep{"check", "checking the phone's record"};
inline constexpr Step kWriteStep{"write", "writing the phone's record"};
inline constexpr Step kCloseStep{"close", "closing the link"};

// Reports the failure and returns kExitFailure. An empty remedy: the cause says it.
int Fail(const Options& options, const Step& step, const std::string& cause, const std::string& remedy);

}  // namespace tool
