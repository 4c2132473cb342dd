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
#include "fixed_fields.hpp"
#include "json_text.hpp"
#include "record_text.hpp"
#include "record_view.hpp"

namespace {

// Why the record could not be read. The desk's stand-in driver can say; with the
// vendor's, the tool knows only that the read failed.
int ReadFailure(const tool::Exports& library, const tool::Options& options, tool::Report& report) {
    const std::string port = std::to_string(options.port);
    const SimPhoneState state = library.desk_phone_state ? library.desk_phone_state(options.port) : SIM_PHONE_PRESENT;
    if (library.desk_phone_state && state == SIM_PHONE_NONE) {
        return report.Fail(tool::kReadStep, "no phone on COM" + port,
                           "put one there with 'stagemark-phone insert --port " + port + "'");
    }
    if (library.desk_phone_state && state == SIM_PHONE_DAMAGED) {
        return report.Fail(tool::kReadStep, "the phone's record on COM" + port + " is damaged",
                           "take the phone away with 'stagemark-phone remove --port " + port +
                               "' and insert a new one");
    }
    if (library.desk_phone_state && state == SIM_PHONE_DESK_REFUSED) {
        char problem[4096] = "the desk folder cannot be used";
        if (library.desk_problem != nullptr) library.desk_problem(problem, sizeof problem);
        return report.Fail(tool::kReadStep, problem, "");
    }
    if (library.desk_phone_state && state == SIM_PHONE_UNREADABLE) {
        return report.Fail(tool::kReadStep, "the desk's phone file for COM" + port + " cannot be read",
                           "check the file that 'stagemark-phone where --port " + port + "' names");
    }
    return report.Fail(tool::kReadStep, "the phone did not hand over its record",
                       "check that the phone is on COM" + port + ", that it was detected (--detect VALUE), and that " +
                           "the port number is right");
}

// Detection, then the test handle for the command; closes the handle it opened.
int RunOnOpenLink(const tool::Exports& library, const tool::Options& options, tool::Report& report) {
    if (options.detect && !library.DetectMobile(*options.detect)) {
        return report.Fail(tool::kDetectStep, "the phone driver found no phone",
                           "check that the phone is connected and powered on COM" + std::to_string(options.port) +
                               ", and the --detect value your driver expects");
    }
    const auto* copy = reinterpret_cast<const TestHandle*>(library.OpenTestHandle());
    if (copy == nullptr) return ReadFailure(library, options, report);
    int code = 0;
    // Flash never written reads 0xFF: the BSN station records its stage on a phone whose
    // BSN is already there, so it is refused as every other station is.
    if (const std::string bsn = tool::BsnText(library); bsn == "ffffffffff") {
        code = report.Fail(tool::kCheckStep,
                           "its BSN reads 'ffffffffff', as erased flash: the phone's record has never been written, "
                           "and nothing was written to it",
                           "its BSN must be written to the phone before any station records a stage");
    } else if (!format::IsTenDigits(bsn)) {
        code = report.Fail(tool::kCheckStep,
                           "its BSN '" + bsn + "' is not ten decimal digits: the phone's record is damaged, and "
                                               "nothing was written to it",
                           "check the phone's record with the vendor's tool; its BSN must be ten decimal digits "
                           "before any station records a stage");
    } else {
        switch (options.command) {
            case tool::Command::Status:
                code = tool::ShowStatus(library, options, *copy, tool::PhoneFixedFields(library, options.port), report);
                break;
            case tool::Command::Pass:
            case tool::Command::Fail: code = tool::RecordResult(library, options, *copy, report); break;
            case tool::Command::Check:
                code = tool::CheckRoute(library, options, tool::PhoneFixedFields(library, options.port), report);
                break;
            case tool::Command::Decode:
            case tool::Command::Version: break;  // never on a link
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
            std::printf("{\"error\": %s, \"step\": %s, \"port\": %d}\n", format::JsonString(problem).c_str(),
                        format::JsonString(tool::kLoadStep.key).c_str(), options.port);
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
    tool::Report report(options);
    int code = RunOnOpenLink(library, options, report);
    if (!library.ExitTat(port)) {
        code = report.Fail(tool::kCloseStep, "the serial-link library refused to close it",
                           "unplug and reconnect the phone before the next station runs");
    }
    report.Print();
    return code;
}

// The tool's version, and which library it loads from its folder with that library's
// version: what a station PC really runs, whatever its installer meant to put there.
int ShowVersion(const tool::Options& options) {
    std::string problem;
    void* library = tool::OpenLibrary(problem);
    if (library == nullptr) {
        if (!options.json) std::printf("stagemark %s\n", STAGEMARK_VERSION);
        std::fprintf(stderr, "stagemark: %s\n", problem.c_str());
        if (options.json) {
            std::printf("{\"error\": %s, \"step\": %s, \"port\": null}\n", format::JsonString(problem).c_str(),
                        format::JsonString(tool::kLoadStep.key).c_str());
        }
        return tool::kExitFailure;
    }
    const tool::LibraryIdentity identity = tool::IdentifyLibrary(library);
    if (options.json) {
        std::printf("{\"tool\": \"stagemark\", \"version\": %s, \"library\": {\"path\": %s, \"version\": %s}}\n",
                    format::JsonString(STAGEMARK_VERSION).c_str(), format::JsonString(identity.path).c_str(),
                    identity.version.empty() ? "null" : format::JsonString(identity.version).c_str());
    } else {
        std::printf("stagemark %s\nlibrary %s, version %s\n", STAGEMARK_VERSION, identity.path.c_str(),
                    identity.version.empty() ? ("not known: " + identity.unknown).c_str() : identity.version.c_str());
    }
    return 0;
}

// What became of the command when its output is lost, so that nobody guesses.
std::string LostOutputNote(const tool::Parsed& parsed) {
    const char* again = ", so run it again with an output that can be written";
    if (!parsed.options) return std::string("nothing was done") + again;
    const tool::Options& options = *parsed.options;
    switch (options.command) {
        case tool::Command::Version: return std::string("nothing was done") + again;
        case tool::Command::Decode: return std::string("decode changes nothing") + again;
        case tool::Command::Status:
        case tool::Command::Check: return std::string("nothing was written to the phone") + again;
        case tool::Command::Pass:
        case tool::Command::Fail: break;
    }
    return "the result may be recorded on the phone without being shown, so check it with 'stagemark status --port " +
           std::to_string(options.port) + "' before running the command again";
}

int OutputLost(const tool::Parsed& parsed) {
    std::fprintf(stderr, "stagemark: writing the output failed: standard output is full or closed; %s\n",
                 LostOutputNote(parsed).c_str());
    return tool::kExitOutputFailed;
}

bool OutputWritten() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

bool StdoutOpen() {
#ifdef _WIN32
    return true;
#else
    return fcntl(1, F_GETFD) != -1;
#endif
}

int Main(int argc, char** argv) {
    const tool::Parsed parsed = tool::ParseOptions(argc, argv);
    if (!parsed.options) {
        if (parsed.help != nullptr) std::fputs(parsed.help, stdout);
        return OutputWritten() ? parsed.exit_code : OutputLost(parsed);
    }
    // Nothing is written to a phone whose result could not be reported.
    if (!StdoutOpen()) {
        std::fprintf(stderr, "stagemark: writing the output failed: standard output is closed; run it with an open "
                             "standard output\n");
        return tool::kExitOutputFailed;
    }
    const tool::Options& options = *parsed.options;
    const int code = options.command == tool::Command::Decode    ? tool::Decode(options)
                     : options.command == tool::Command::Version ? ShowVersion(options)
                                                                 : Run(options);
    return OutputWritten() ? code : OutputLost(parsed);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& error) {
        // Out of memory, most likely: a clear failure rather than an abort.
        const std::string message = std::string("running the command failed: ") + error.what() +
                                    "; close other programs and try again";
        std::fprintf(stderr, "stagemark: %s\n", message.c_str());
        if (tool::JsonAnywhere(argc, argv)) {
            std::printf("{\"error\": %s, \"step\": \"run\", \"port\": null}\n", format::JsonString(message).c_str());
        }
        return tool::kExitFailure;
    }
}
