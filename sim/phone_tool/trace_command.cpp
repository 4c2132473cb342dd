// The trace of one port: the calls station programs made there, oldest first, with the
// serial link's time for each record transfer, the checks that fired, and a total for
// each process.
#include <cstdio>
#include <map>
#include <string>

#include "desk_commands.hpp"
#include "desk_pace.hpp"
#include "desk_trace.hpp"
#include "json_text.hpp"
#include "port_hold.hpp"

namespace phone_tool {
namespace {

struct Total {
    unsigned calls = 0, checks = 0;
    unsigned long bytes = 0;
};

std::string Json(const std::string& text) { return format::JsonString(text); }

void PrintText(int port, const std::vector<desk::TraceLine>& lines, const std::map<long, Total>& totals, bool dropped) {
    if (dropped) std::printf("older calls were dropped to keep the trace's size; what follows is the latest\n");
    if (lines.empty()) std::printf("no calls traced on COM%d\n", port);
    for (const desk::TraceLine& line : lines) {
        if (line.op == "check") {
            std::printf("%s  pid %ld  tid %ld  CHECK  %s\n", line.time.c_str(), line.pid, line.thread, line.detail.c_str());
            continue;
        }
        std::printf("%s  pid %ld  tid %ld  %-6s  %-7s  %s", line.time.c_str(), line.pid, line.thread, line.op.c_str(),
                    line.result == 0 ? "ok" : ("failed " + std::to_string(line.result)).c_str(), line.detail.c_str());
        if (line.bytes > 0) std::printf(", link at least %.1f ms", desk::LinkMilliseconds(line.bytes));
        std::printf("\n");
    }
    for (const auto& [pid, total] : totals) {
        std::printf("process %ld: %u calls, %lu record bytes, link at least %.1f ms, %u check(s)\n", pid, total.calls,
                    total.bytes, desk::LinkMilliseconds(static_cast<unsigned>(total.bytes)), total.checks);
    }
}

void PrintJson(int port, const std::vector<desk::TraceLine>& lines, const std::map<long, Total>& totals,
               std::size_t damaged, bool dropped) {
    std::string json = "{\"port\": " + std::to_string(port) + ", \"entries\": [";
    for (const desk::TraceLine& line : lines) {
        json += std::string(&line == &lines.front() ? "" : ", ") + "{\"time\": " + Json(line.time) +
                ", \"pid\": " + std::to_string(line.pid) + ", \"thread\": " + std::to_string(line.thread) + ", \"port\": " + std::to_string(line.port) +
                ", \"op\": " + Json(line.op) + ", \"result\": " + std::to_string(line.result) +
                ", \"bytes\": " + std::to_string(line.bytes) + ", \"link_ms\": " +
                std::to_string(desk::LinkMilliseconds(line.bytes)) + ", \"detail\": " + Json(line.detail) + "}";
    }
    json += "], \"processes\": [";
    bool first = true;
    for (const auto& [pid, total] : totals) {
        json += std::string(first ? "" : ", ") + "{\"pid\": " + std::to_string(pid) + ", \"calls\": " +
                std::to_string(total.calls) + ", \"bytes\": " + std::to_string(total.bytes) + ", \"link_ms\": " +
                std::to_string(desk::LinkMilliseconds(static_cast<unsigned>(total.bytes))) +
                ", \"checks\": " + std::to_string(total.checks) + "}";
        first = false;
    }
    std::printf("%s], \"damaged_lines\": %zu, \"dropped\": %s}\n", json.c_str(), damaged, dropped ? "true" : "false");
}

}  // namespace

int Trace(const Arguments& args) {
    const bool json = args.flags.count("--json") != 0;
    const desk::Folder folder = desk::Folder::Open();
    if (!folder.Usable()) return Failed(folder.Problem(), "desk", args.port, json);
    if (args.flags.count("--clear") != 0) {
        if (json) return Usage("--clear prints nothing to give as JSON", true);
        if (!desk::ClearTrace(folder)) {
            std::fprintf(stderr, "stagemark-phone: clearing the trace failed: the desk folder could not be written; "
                                 "check its permissions\n");
            return kFailure;
        }
        std::printf("trace cleared\n");
        return 0;
    }
    desk::FindLinkLeftOpen(folder, args.port);
    const desk::Trace trace = desk::ReadTrace(folder);
    if (trace.status != desk::FileRead::Ok && trace.status != desk::FileRead::Missing) {
        return Failed("reading the trace failed: " + folder.PathOf("desk.trace") + " or " +
                          folder.PathOf("desk.trace.old") + " is not a regular file, is too large or cannot be read; " +
                          "clear it with 'stagemark-phone trace --port " + std::to_string(args.port) +
                          " --clear', or remove it by hand",
                      "read", args.port, json);
    }
    const std::vector<desk::TraceLine> lines = desk::PortLines(trace.lines, args.port);
    std::map<long, Total> totals;
    for (const desk::TraceLine& line : lines) {
        Total& total = totals[line.pid];
        (line.op == "check" ? total.checks : total.calls) += 1;
        total.bytes += line.bytes;
    }
    if (json) {
        PrintJson(args.port, lines, totals, trace.damaged, trace.dropped);
    } else {
        PrintText(args.port, lines, totals, trace.dropped);
    }
    if (trace.damaged > 0) {
        std::fprintf(stderr, "stagemark-phone: %zu line(s) of the trace could not be read and are left out\n",
                     trace.damaged);
    }
    return 0;
}

}  // namespace phone_tool
