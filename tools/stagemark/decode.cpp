#include "decode.hpp"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "failure.hpp"
#include "fixed_fields.hpp"
#include "json_text.hpp"
#include "record_format.hpp"
#include "record_text.hpp"
#include "stages.hpp"
#include "utc_text.hpp"

namespace tool {
namespace {

using format::kRecordSize;

// Only a regular file, and never more bytes than a record and one more.
std::string ReadDump(const std::string& path, format::Record& record) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return "it is missing or not a regular file";
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes(kRecordSize + 1);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return "it cannot be read";
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got != kRecordSize) {
        return got > kRecordSize ? "it is longer than a record dump of 1036 bytes"
                                 : "it is " + std::to_string(got) + " bytes, and a record dump is 1036";
    }
    std::copy_n(bytes.begin(), kRecordSize, record.begin());
    return "";
}

// Read as flags, erased flash has every stage passed: none is recorded.
format::StageState StateIn(const format::Record& record, int slot) {
    return format::IsErased(record.data()) ? format::StageState::NotRecorded : format::StateOf(record.data(), slot);
}

std::string StampAt(const format::Record& record, int slot) {
    return format::UtcText(format::StampOf(record.data(), slot));
}

void PrintJson(const Options& options, const format::Record& record, const Differing& differing) {
    const std::string bsn = format::BsnText(record.data());
    std::string json = "{\"file\": " + format::JsonString(options.file) + ", \"bsn\": " + format::JsonString(bsn) +
                       ", \"bsn_is_ten_digits\": " + (format::IsTenDigits(bsn) ? "true" : "false") +
                       ", \"erased\": " + (format::IsErased(record.data()) ? "true" : "false") + ", \"stages\": [";
    for (const format::StageEntry& stage : format::kStages) {
        const format::StageState state = StateIn(record, stage.slot);
        json += std::string(stage.slot == 0 ? "" : ", ") + "{\"stage\": " + format::JsonString(stage.name) +
                ", \"status\": " + format::JsonString(format::StateWord(state)) + ", \"recorded\": " +
                (state == format::StageState::NotRecorded ? "null" : format::JsonString(StampAt(record, stage.slot))) +
                "}";
    }
    std::printf("%s], \"conforms\": %s, \"differing\": [%s]}\n", json.c_str(),
                differing.text.empty() ? "true" : "false", differing.json.c_str());
}

void PrintText(const Options& options, const format::Record& record, const Differing& differing) {
    std::printf("record dump %s\n", options.file.c_str());
    if (format::IsErased(record.data())) {
        std::printf("an erased record: every byte is 0xFF, flash never written; no BSN and no stage recorded\n");
        return;
    }
    const std::string bsn = format::BsnText(record.data());
    std::printf("phone %s%s\n", bsn.c_str(),
                format::IsTenDigits(bsn) ? "" : " (not ten digits: never written or damaged)");
    for (const format::StageEntry& stage : format::kStages) {
        const format::StageState state = StateIn(record, stage.slot);
        if (state == format::StageState::NotRecorded) {
            std::printf("  %-4s  %s\n", stage.name, format::StateWord(state));
        } else {
            std::printf("  %-4s  %-12s  %s\n", stage.name, format::StateWord(state),
                        StampAt(record, stage.slot).c_str());
        }
    }
    if (differing.text.empty()) {
        std::printf("header and fixed fields: as stagemark writes them\n");
    } else {
        std::printf("differs from what stagemark writes: %s\n", differing.text.c_str());
    }
}

}  // namespace

int Decode(const Options& options) {
    format::Record record{};
    if (const std::string problem = ReadDump(options.file, record); !problem.empty()) {
        const std::string description = "decoding " + options.file;
        const Step step{"decode", description.c_str()};
        return Fail(options, step, problem, "give the 1036-byte dump of record 1000 that the vendor's tool saves");
    }
    const Differing differing = FindDiffering(record);
    if (options.json) {
        PrintJson(options, record, differing);
    } else {
        PrintText(options, record, differing);
    }
    return 0;
}

}  // namespace tool
