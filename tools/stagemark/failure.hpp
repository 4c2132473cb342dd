// How the tool reports: a failure as one line on stderr that names the step, the likely
// cause and what to try; with --json, also one JSON object on stdout, whatever happened.
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

// The one JSON object of a command, held back while the link is open: the link's close
// comes after the command, and a close that fails must be told in that same object, with
// what the command had learned (that the result was recorded, the stages' statuses), so
// that a station script reading stdout gets one object and loses nothing.
class Report {
  public:
    explicit Report(const Options& options) : options_(options) {}
    // What the command learned: the object's fields after the port, each led by ", ".
    void Learned(std::string fields) { fields_ = std::move(fields); }
    // Says the failure on stderr now and keeps it for the object; a later failure (the
    // close, after a failed write) is added to the first one's words. Returns kExitFailure.
    int Fail(const Step& step, const std::string& cause, const std::string& remedy);
    // With --json, prints the object: the failure, if any, then the port and what was learned.
    void Print() const;

  private:
    const Options& options_;
    std::string error_, step_, fields_;
};

// A failure reported at once, where no link is open. An empty remedy: the cause says it.
int Fail(const Options& options, const Step& step, const std::string& cause, const std::string& remedy);

}  // namespace tool
