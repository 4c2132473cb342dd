// stagemark: the station tool. Shows and sets a phone's stage test record through
// the library's own exports, the way any station program does.
#include "commands.hpp"

namespace {

// Detection, then the test handle for the command; closes the handle it opened.
int RunOnOpenLink(const tool::Options& options) {
    if (options.detect && !DetectMobile(*options.detect)) {
        tool::ReportFailure("no phone was detected", options.port);
        return tool::kExitFailure;
    }
    const auto* copy = reinterpret_cast<const TestHandle*>(OpenTestHandle());
    if (copy == nullptr) {
        tool::ReportFailure("the phone's record could not be read", options.port);
        return tool::kExitFailure;
    }
    int code = 0;
    switch (options.command) {
        case tool::Command::Status: code = tool::ShowStatus(options, *copy); break;
        case tool::Command::Pass:
        case tool::Command::Fail: code = tool::RecordResult(options, *copy); break;
        case tool::Command::Check: code = tool::CheckRoute(options); break;
    }
    CloseTestHandle();
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    const tool::Parsed parsed = tool::ParseOptions(argc, argv);
    if (!parsed.options) return parsed.exit_code;
    const tool::Options& options = *parsed.options;
    const auto port = static_cast<unsigned char>(options.port);

    if (!InitTat(port)) {
        tool::ReportFailure("the link could not open", options.port);
        return tool::kExitFailure;
    }
    const int code = RunOnOpenLink(options);
    if (!ExitTat(port)) {
        tool::ReportFailure("the link could not be closed", options.port);
        return tool::kExitFailure;
    }
    return code;
}
