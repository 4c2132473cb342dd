#include "commands.hpp"

#include <cstdio>
#include <string>

#include "record_view.hpp"

namespace tool {
namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

void ReportFailure(const char* step, int port) { std::fprintf(stderr, "stagemark: %s on COM%d\n", step, port); }

int ShowStatus(const Options& options, const TestHandle& copy) {
    const std::string bsn = BsnText();
    if (options.json) {
        std::string json = "{\"port\": " + std::to_string(options.port) + ", \"bsn\": " + Quoted(bsn) + ", \"stages\": [";
        for (const StageEntry& stage : kStages) {
            const int status = stage.status();
            json += std::string(&stage == kStages ? "" : ", ") + "{\"stage\": " + Quoted(stage.name) +
                    ", \"status\": " + Quoted(StatusWord(status)) +
                    ", \"recorded\": " + (status == 0 ? "null" : Quoted(RecordedAt(copy, stage))) + "}";
        }
        std::printf("%s]}\n", json.c_str());
        return 0;
    }
    std::printf("phone %s on COM%d\n", bsn.c_str(), options.port);
    for (const StageEntry& stage : kStages) {
        const int status = stage.status();
        if (status == 0) {
            std::printf("  %-4s  %s\n", stage.name, StatusWord(status));
        } else {
            std::printf("  %-4s  %-12s  %s\n", stage.name, StatusWord(status), RecordedAt(copy, stage).c_str());
        }
    }
    return 0;
}

int RecordResult(const Options& options, const TestHandle& copy) {
    const StageEntry& stage = *options.stages.front();
    const bool pass = options.command == Command::Pass;
    if (!(pass ? stage.pass() : stage.fail())) {
        ReportFailure("the phone's record could not be written", options.port);
        return kExitFailure;
    }
    std::printf("%s recorded as %s on phone %s at %s\n", stage.name, pass ? "passed" : "failed", BsnText().c_str(),
                RecordedAt(copy, stage).c_str());
    return 0;
}

int CheckRoute(const Options& options) {
    std::string refused, stages_json, refused_json;
    for (const StageEntry* stage : options.stages) {
        const int status = stage->status();
        if (!stages_json.empty()) stages_json += ", ";
        stages_json += "{\"stage\": " + Quoted(stage->name) + ", \"status\": " + Quoted(StatusWord(status)) + "}";
        if (status == 1) continue;
        refused += (refused.empty() ? "" : ", ") + std::string(stage->name) + " " + StatusWord(status);
        refused_json += (refused_json.empty() ? "" : ", ") + Quoted(stage->name);
    }
    if (options.json) {
        std::printf("{\"port\": %d, \"bsn\": %s, \"passed\": %s, \"stages\": [%s], \"refused\": [%s]}\n", options.port,
                    Quoted(BsnText()).c_str(), refused.empty() ? "true" : "false", stages_json.c_str(),
                    refused_json.c_str());
    } else if (refused.empty()) {
        std::printf("route check passed: phone %s has passed every stage named\n", BsnText().c_str());
    } else {
        std::printf("route check refused: phone %s: %s\n", BsnText().c_str(), refused.c_str());
    }
    return refused.empty() ? 0 : kExitRefused;
}

}  // namespace tool
