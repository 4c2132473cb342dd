#include "commands.hpp"

#include <cstdio>
#include <string>

#include "failure.hpp"
#include "json_text.hpp"
#include "record_view.hpp"
#include "stages.hpp"

namespace tool {
namespace {

// A phone fresh from its programming step may hold other bytes there; the next result
// recorded writes stagemark's, so it is said and nothing is refused.
constexpr const char* kDifferingNote =
    "; stages can be recorded, and the next recorded result writes stagemark's fields (a phone fresh from its "
    "programming step may look so)";

}  // namespace

int ShowStatus(const Exports& library, const Options& options, const TestHandle& copy,
               const std::optional<Differing>& fixed, Report& report) {
    const std::string bsn = BsnText(library);
    if (options.json) {
        std::string json = ", \"bsn\": " + format::JsonString(bsn) + ", \"stages\": [";
        for (const format::StageEntry& stage : format::kStages) {
            const int status = library.stages[stage.slot].status();
            json += std::string(stage.slot == 0 ? "" : ", ") + "{\"stage\": " + format::JsonString(stage.name) +
                    ", \"status\": " + format::JsonString(format::StatusWord(status)) +
                    ", \"recorded\": " + (status == 0 ? "null" : format::JsonString(RecordedAt(copy, stage.slot))) +
                    "}";
        }
        report.Learned(json + "], " + FixedFieldsJson(fixed));
        return 0;
    }
    std::printf("phone %s on COM%d\n", bsn.c_str(), options.port);
    for (const format::StageEntry& stage : format::kStages) {
        const int status = library.stages[stage.slot].status();
        if (status == 0) {
            std::printf("  %-4s  %s\n", stage.name, format::StatusWord(status));
        } else {
            std::printf("  %-4s  %-12s  %s\n", stage.name, format::StatusWord(status),
                        RecordedAt(copy, stage.slot).c_str());
        }
    }
    if (fixed && fixed->text.empty()) {
        std::printf("header and fixed fields: as stagemark writes them\n");
    } else if (fixed) {
        std::printf("differs from what stagemark writes: %s%s\n", fixed->text.c_str(), kDifferingNote);
    }
    return 0;
}

int RecordResult(const Exports& library, const Options& options, const TestHandle& copy, Report& report) {
    const format::StageEntry& stage = *options.stages.front();
    const StageExports& calls = library.stages[stage.slot];
    const bool pass = options.command == Command::Pass;
    if (!(pass ? calls.pass() : calls.fail())) {
        return report.Fail(kWriteStep, "the phone did not store the record, so " + std::string(stage.name) +
                                           " is not recorded",
                           "check that the phone is still on the link, then run the command again");
    }
    const std::string bsn = BsnText(library), word = pass ? "passed" : "failed";
    const std::string at = RecordedAt(copy, stage.slot);
    if (options.json) {
        report.Learned(", \"bsn\": " + format::JsonString(bsn) + ", \"stage\": " + format::JsonString(stage.name) +
                       ", \"status\": " + format::JsonString(word) + ", \"recorded\": " + format::JsonString(at));
    } else {
        std::printf("%s recorded as %s on phone %s at %s\n", stage.name, word.c_str(), bsn.c_str(), at.c_str());
    }
    return 0;
}

int CheckRoute(const Exports& library, const Options& options, const std::optional<Differing>& fixed,
               Report& report) {
    std::string refused, stages_json, refused_json;
    for (const format::StageEntry* stage : options.stages) {
        const int status = library.stages[stage->slot].status();
        if (!stages_json.empty()) stages_json += ", ";
        stages_json += "{\"stage\": " + format::JsonString(stage->name) +
                       ", \"status\": " + format::JsonString(format::StatusWord(status)) + "}";
        if (status == 1) continue;
        refused += (refused.empty() ? "" : ", ") + std::string(stage->name) + " " + format::StatusWord(status);
        refused_json += (refused_json.empty() ? "" : ", ") + format::JsonString(stage->name);
    }
    const std::string bsn = BsnText(library);
    if (options.json) {
        report.Learned(", \"bsn\": " + format::JsonString(bsn) +
                       ", \"passed\": " + (refused.empty() ? "true" : "false") + ", \"stages\": [" + stages_json +
                       "], \"refused\": [" + refused_json + "], " + FixedFieldsJson(fixed));
    } else if (refused.empty()) {
        std::printf("route check passed: phone %s has passed every stage named\n", bsn.c_str());
    } else {
        std::printf("route check refused: phone %s: %s\n", bsn.c_str(), refused.c_str());
    }
    if (!options.json && fixed && !fixed->text.empty()) {
        std::printf("the record differs from what stagemark writes: %s%s\n", fixed->text.c_str(), kDifferingNote);
    }
    return refused.empty() ? 0 : kExitRefused;
}

}  // namespace tool
