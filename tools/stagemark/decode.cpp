#include "decode.hpp"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "failure.hpp"
#include "record_view.hpp"
#include "utc_time.hpp"

namespace tool {
namespace {

constexpr std::size_t kRecordSize = 1036;
constexpr std::size_t kBsn = 789, kPassFlags = 810, kDoneFlags = 811, kStamps = 838;

// The fixed parts of the record as stagemark writes them.
struct FixedField {
    const char* name;
    std::size_t offset;
    std::vector<unsigned char> bytes;
};

const std::vector<FixedField>& FixedFields() {
    static const std::vector<FixedField> fields = {
        {"header", 780, {0x00, 0x01, 0x00, 0xFF, '5', '8', '2', '7'}},
        {"byte after the header", 788, {0x00}},
        {"0xFF block", 794, std::vector<unsigned char>(16, 0xFF)},
        {"zeros after the flags", 812, std::vector<unsigned char>(14, 0x00)},
        {"pair block", 826, {0x01, 0xD5, 0x02, 0xC5, 0x03, 0xCE, 0x04, 0xF7, 0x05, 0xB8, 0x06, 0xFC}},
        {"zeros after the stamps", 870, std::vector<unsigned char>(166, 0x00)},
    };
    return fields;
}

bool Conforms(const std::vector<unsigned char>& record, const FixedField& field) {
    for (std::size_t i = 0; i < field.bytes.size(); ++i) {
        if (record[field.offset + i] != field.bytes[i]) return false;
    }
    return true;
}

// Only a regular file, and never more bytes than a record and one more.
std::string ReadDump(const std::string& path, std::vector<unsigned char>& record) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return "it is missing or not a regular file";
    std::ifstream in(path, std::ios::binary);
    record.assign(kRecordSize + 1, 0);
    in.read(reinterpret_cast<char*>(record.data()), static_cast<std::streamsize>(record.size()));
    if (in.bad()) return "it cannot be read";
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got != kRecordSize) {
        return got > kRecordSize ? "it is longer than a record dump of 1036 bytes"
                                 : "it is " + std::to_string(got) + " bytes, and a record dump is 1036";
    }
    record.resize(kRecordSize);
    return "";
}

std::string BsnOf(const std::vector<unsigned char>& record) {
    char bsn[11];
    std::snprintf(bsn, sizeof bsn, "%.2x%.2x%.2x%.2x%.2x", record[kBsn], record[kBsn + 1], record[kBsn + 2],
                  record[kBsn + 3], record[kBsn + 4]);
    return bsn;
}

int StatusOf(const std::vector<unsigned char>& record, int slot) {
    const unsigned mask = 0x80u >> slot;
    if ((record[kDoneFlags] & mask) == 0) return 0;
    return (record[kPassFlags] & mask) != 0 ? 1 : 2;
}

std::string StampOf(const std::vector<unsigned char>& record, int slot) {
    return StampText(record.data() + kStamps + 4 * static_cast<std::size_t>(slot));
}

}  // namespace

int Decode(const Options& options) {
    std::vector<unsigned char> record;
    if (const std::string problem = ReadDump(options.file, record); !problem.empty()) {
        const std::string description = "decoding " + options.file;
        const Step step{"decode", description.c_str()};
        return Fail(options, step, problem, "give the 1036-byte dump of record 1000 that the vendor's tool saves");
    }
    const std::string bsn = BsnOf(record);
    std::string differing, differing_json;
    for (const FixedField& field : FixedFields()) {
        if (Conforms(record, field)) continue;
        differing += (differing.empty() ? "" : ", ") + std::string(field.name) + " at " + std::to_string(field.offset);
        differing_json += (differing_json.empty() ? "" : ", ") + std::string("{\"field\": ") + JsonString(field.name) +
                          ", \"offset\": " + std::to_string(field.offset) +
                          ", \"length\": " + std::to_string(field.bytes.size()) + "}";
    }
    if (options.json) {
        std::string json = "{\"file\": " + JsonString(options.file) + ", \"bsn\": " + JsonString(bsn) +
                           ", \"bsn_is_ten_digits\": " + (IsTenDigits(bsn) ? "true" : "false") + ", \"stages\": [";
        for (const StageEntry& stage : kStages) {
            const int status = StatusOf(record, stage.slot);
            json += std::string(stage.slot == 0 ? "" : ", ") + "{\"stage\": " + JsonString(stage.name) +
                    ", \"status\": " + JsonString(StatusWord(status)) +
                    ", \"recorded\": " + (status == 0 ? "null" : JsonString(StampOf(record, stage.slot))) + "}";
        }
        std::printf("%s], \"conforms\": %s, \"differing\": [%s]}\n", json.c_str(), differing.empty() ? "true" : "false",
                    differing_json.c_str());
        return 0;
    }
    std::printf("record dump %s\nphone %s%s\n", options.file.c_str(), bsn.c_str(),
                IsTenDigits(bsn) ? "" : " (not ten digits: never written or damaged)");
    for (const StageEntry& stage : kStages) {
        const int status = StatusOf(record, stage.slot);
        if (status == 0) {
            std::printf("  %-4s  %s\n", stage.name, StatusWord(status));
        } else {
            std::printf("  %-4s  %-12s  %s\n", stage.name, StatusWord(status), StampOf(record, stage.slot).c_str());
        }
    }
    if (differing.empty()) {
        std::printf("header and fixed fields: as stagemark writes them\n");
    } else {
        std::printf("differs from what stagemark writes: %s\n", differing.c_str());
    }
    return 0;
}

}  // namespace tool
