// stagemark-phone line: the route of a line file run on the desk, and its report.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "desk_commands.hpp"
#include "line_draws.hpp"
#include "line_file.hpp"
#include "line_run.hpp"
#include "line_system.hpp"

namespace phone_tool {
namespace {

constexpr int kDeskFailure = 2;
constexpr std::size_t kLineFileLimit = 1u << 20;

// Plain decimal from `low` to `high`, nothing else.
bool ParseWhole(const char* text, unsigned long long low, unsigned long long high, unsigned long long& value) {
    if (text[0] < '0' || text[0] > '9' || (text[0] == '0' && text[1] != '\0')) return false;
    value = 0;
    for (const char* c = text; *c != '\0'; ++c) {
        if (*c < '0' || *c > '9' || value > (high - static_cast<unsigned>(*c - '0')) / 10) return false;
        value = value * 10 + static_cast<unsigned>(*c - '0');
    }
    return value >= low;
}

// A rate from 0 to 1 with up to six decimals ("0", "1", "0.25"), in millionths.
bool ParseRate(const char* text, std::uint32_t& rate) {
    const char* point = std::strchr(text, '.');
    const std::size_t whole_digits = point != nullptr ? static_cast<std::size_t>(point - text) : std::strlen(text);
    if (whole_digits != 1 || (text[0] != '0' && text[0] != '1')) return false;
    std::uint32_t fraction = 0, scale = line::kCertain;
    if (point != nullptr) {
        if (point[1] == '\0' || std::strlen(point + 1) > 6) return false;
        for (const char* c = point + 1; *c != '\0'; ++c) {
            if (*c < '0' || *c > '9') return false;
            scale /= 10;
            fraction += static_cast<std::uint32_t>(*c - '0') * scale;
        }
    }
    rate = static_cast<std::uint32_t>(text[0] - '0') * line::kCertain + fraction;
    return rate <= line::kCertain;
}

struct LineArguments {
    const char* file = nullptr;
    line::LineOptions options;
    bool phones = false, faults = false, stray = false, seed = false, pace = false, json = false, limit = false;
};

std::string ParseLineArguments(int argc, char** argv, LineArguments& out) {
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        bool* given = arg == "--phones" ? &out.phones
                      : arg == "--faults" ? &out.faults
                      : arg == "--stray"  ? &out.stray
                      : arg == "--seed"   ? &out.seed
                      : arg == "--limit"  ? &out.limit
                      : arg == "--pace"   ? &out.pace
                      : arg == "--json"   ? &out.json
                                          : nullptr;
        if (given == nullptr) {
            if (arg.starts_with("-")) return "unknown argument '" + arg + "' for line";
            if (out.file != nullptr) return "line takes one line file, not also '" + arg + "'";
            out.file = argv[i];
            continue;
        }
        if (*given) return arg + " is given twice";
        *given = true;
        if (arg == "--pace" || arg == "--json") continue;
        if (i + 1 >= argc) return arg + " needs a value";
        const char* value = argv[++i];
        unsigned long long number = 0;
        if (arg == "--phones") {
            if (!ParseWhole(value, 1, 1000000, number)) return "--phones '" + std::string(value) + "' is not 1 to 1000000";
            out.options.phones = static_cast<int>(number);
        } else if (arg == "--seed") {
            if (!ParseWhole(value, 0, ~0ull, number)) return "--seed '" + std::string(value) + "' is not a whole number";
            out.options.seed = number;
        } else if (arg == "--limit") {
            if (!ParseWhole(value, 1, 86400, number)) return "--limit '" + std::string(value) + "' is not 1 to 86400 seconds";
            out.options.limit_seconds = static_cast<int>(number);
        } else if (!ParseRate(value, arg == "--faults" ? out.options.fault_rate : out.options.stray_rate)) {
            return arg + " '" + value + "' is not a rate from 0 to 1, such as 0.2";
        }
    }
    out.options.pace = out.pace;
    if (out.file == nullptr) return "line needs a line file";
    if (!out.phones) return "line needs --phones N";
    return "";
}

}  // namespace

int Line(int argc, char** argv) {
    const bool json = JsonAmongArguments(argc, argv);
    LineArguments args;
    if (const std::string problem = ParseLineArguments(argc, argv, args); !problem.empty()) return Usage(problem, json);
    if (const std::string refusal = desk::DeskPathRefusal(); !refusal.empty()) return Usage(refusal, json);
    std::string text;
    if (const std::string problem = line::ReadPlainFile(args.file, kLineFileLimit, text); !problem.empty()) {
        return Usage("reading the line file " + std::string(args.file) + " failed: " + problem +
                         "; name a line file, one station a line",
                     json);
    }
    const line::Route route = line::ParseRoute(text, line::FindProgram);
    if (!route.problem.empty()) return Usage("the line file " + std::string(args.file) + ", " + route.problem, json);
    if (!args.seed) args.options.seed = line::Draws(static_cast<std::uint64_t>(std::time(nullptr))).Next();
    const desk::Folder folder = desk::Folder::Open();
    if (!folder.Usable()) {
        Failed(folder.Problem(), "desk", route.stations.front().port, json);
        return kDeskFailure;
    }
    std::string problem;
    const line::LineReport report = line::RunLine(folder, route, args.options, problem);
    if (!problem.empty()) {
        Failed("the line stopped: " + problem, "line", route.stations.front().port, json);
        return kDeskFailure;
    }
    std::fputs((json ? line::ReportJson(route, report) : line::ReportText(route, report)).c_str(), stdout);
    return line::ReportCode(report);
}

}  // namespace phone_tool
