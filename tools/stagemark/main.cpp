// stagemark: the station tool. Shows and sets a phone's stage test record through
// the library's own exports, the way any station program does.
#include <cstdio>
#include <exception>
#include <string>

#ifndef _WIN32
#include <fcntl.h>
#endif

#include "commands.hpp"
#include "decode.hpp"
#include "failure.hpp"
#include "json_text.hpp"
#include "record_text.hpp"
#include "record_view.hpp"

namespace {

// Why the record could not be read. The desk's stand-in driver can say; with the
// vendor's, the tool knows only that the read failed.
int ReadFailure(const tool::Exports& library, const tool::Options& options) {
    const std::string port = std::to_string(options.port);
    const SimPhoneState state = library.desk_phone_state ? library.desk_phone_state(options.port) : SIM_PHONE_PRESENT;
    if (library.desk_phone_state && state == SIM_PHONE_NONE) {
        return tool::Fail(options, tool::kReadStep, "no phone on COM" + port,
                          "put one there with 'stagemark-phone insert --port " + port + "'");
    }
    if (library.desk_phone_state && state == SIM_PHONE_DAMAGED) {
        return tool::Fail(options, tool::kReadStep, "the phone's record on COM" + port + " is damaged",
                          "take the phone away with 'stagemark-phone remove --port " + port + "' and insert a new one");
    }
    if (library.desk_phone_state && state == SIM_PHONE_DESK_REFUSED) {
        char problem[4096] = "the desk folder cannot be used";
        if (library.desk_problem != nullptr) library.desk_problem(problem, sizeof problem);
        return tool::Fail(options, tool::kReadStep, problem, "");
    }
    if (library.desk_phone_state && state == SIM_PHONE_UNREADABLE) {
        return tool::Fail(options, tool::kReadStep, "the desk's phone file for COM" + port + " cannot be read",
                          "check the file that 'stagemark-phone where --port " + port + "' names");
    }
    return tool::Fail(options, tool::kReadStep, "the phone did not hand over its record",
                      "check that the phone is on COM" + port + ", that it was detected (--detect VALUE), and that " +
                          "the port number is right");
}

// Detection, then the test handle for the command; closes the handle it opened.
int RunOnOpenLink(const tool::Exports& library, const tool::Options& options) {
    if (options.detect && !library.DetectMobile(*options.detect)) {
        return tool::Fail(options, tool::kDetectStep, "the phone driver found no phone",
                          "check that the phone is connected and powered on COM" + std::to_string(options.port) +
                              ", and the --detect value your driver expects");
    }
    const auto* copy = reinterpret_cast<const TestHandle*>(library.OpenTestHandle());
    if (copy == nullptr) return ReadFailure(library, options);
    int code = 0;
    if (const std::string bsn = tool::BsnText(library); !format::IsTenDigits(bsn)) {
        code = tool::Fail(options, tool::kCheckStep,
                          "its BSN '" + bsn + "' is not ten decimal digits: the record looks never written or "
                                              "damaged, and nothing was written",
                          "have the phone's record written by the BSN station before any other stage");
    } else {
        switch (options.command) {
            case tool::Command::Status: code = tool::ShowStatus(library, options, *copy); break;
            case tool::Command::Pass:
            case tool::Command::Fail: code = tool::RecordResult(library, options, *copy); break;
            case tool::Command::Check: code = tool::CheckRoute(library, options); break;
            case tool::Command::Decode: break;  // reads a file: never on a link
        }
    }
    library.CloseTestHandle();
    return code;
}

int Run(const tool::Options& options) {
    tool::Exports library{};
    if (const std::string problem = tool::LoadExports(library); !problem.empty()) {
        std::fprintf(stderr, "stagemark: %s\n", problem.c_str());
        if (options.json) {
            std::printf("{\"error\": %s, \"step\": \"%s\", \"port\": %d}\n", format::JsonString(problem).c_str(),
                        tool::kLoadStep.key, options.port);
        }
        return tool::kExitFailure;
    }
    const auto port = static_cast<unsigned char>(options.port);
    if (!library.InitTat(port)) {
        // The desk knows why its port could not be opened: in use by a live process, or a
        // hold file it cannot use.
        char problem[4096] = "";
        if (library.desk_port_problem != nullptr && library.desk_port_problem(options.port, problem, sizeof problem) > 0) {
            return tool::Fail(options, tool::kOpenStep, problem, "");
        }
        const long holder = library.desk_port_holder ? library.desk_port_holder(options.port) : 0;
        if (holder > 0) {
            return tool::Fail(options, tool::kOpenStep,
                              "COM" + std::to_string(options.port) + " is in use by another program (process " +
                                  std::to_string(holder) + ")",
                              "wait until it ends or closes the link, then run the command again");
        }
        return tool::Fail(options, tool::kOpenStep, "the port does not exist, or another program holds it",
                          "check the port number, and close any other program that uses COM" +
                              std::to_string(options.port));
    }
    const int code = RunOnOpenLink(library, options);
    if (!library.ExitTat(port)) {
        return tool::Fail(options, tool::kCloseStep, "the serial-link library refused to close it",
                          "unplug and reconnect the phone before the next station runs");
    }
    return code;
}

bool StdoutOpen() {
#ifdef _WIN32
    return true;
#else
    return fcntl(1, F_GETFD) != -1;
#endif
}

int Main(int argc, char** argv) {
    const tool::Parsed parsed = tool::ParseOptions(argc, argv);
    if (!parsed.options) return parsed.exit_code;
    // Nothing is written to a phone whose result could not be reported.
    if (!StdoutOpen()) {
        std::fprintf(stderr, "stagemark: writing the output failed: standard output is closed; run it with an open "
                             "standard output\n");
        return tool::kExitOutputFailed;
    }
    const tool::Options& options = *parsed.options;
    const int code = options.command == tool::Command::Decode ? tool::Decode(options) : Run(options);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "stagemark: writing the output failed: standard output is full or closed; what was done "
                             "on the phone is not shown, so check it with 'stagemark status'\n");
        return tool::kExitOutputFailed;
    }
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& error) {
        // Out of memory, most likely: a clear failure rather than an abort.
        std::fprintf(stderr, "stagemark: running the command failed: %s; close other programs and try again\n",
                     error.what());
        return tool::kExitFailure;
    }
}
