#include "fixed_fields.hpp"

#include <algorithm>

#include "json_text.hpp"

namespace tool {
namespace {

bool Conforms(const format::Record& record, const format::FixedField& field) {
    return std::equal(field.bytes, field.bytes + field.size, record.begin() + field.offset);
}

}  // namespace

Differing FindDiffering(const format::Record& record) {
    Differing differing;
    for (const format::FixedField& field : format::kFixedFields) {
        if (Conforms(record, field)) continue;
        differing.text += (differing.text.empty() ? "" : ", ") + std::string(field.name) + " at " +
                          std::to_string(field.offset);
        differing.json += (differing.json.empty() ? "" : ", ") + std::string("{\"field\": ") +
                          format::JsonString(field.name) + ", \"offset\": " + std::to_string(field.offset) +
                          ", \"length\": " + std::to_string(field.size) + "}";
    }
    return differing;
}

std::optional<Differing> PhoneFixedFields(const Exports& library, int port) {
    if (library.desk_phone_record == nullptr) return std::nullopt;
    format::Record record{};
    if (library.desk_phone_record(port, record.data(), record.size()) != record.size()) return std::nullopt;
    return FindDiffering(record);
}

std::string FixedFieldsJson(const std::optional<Differing>& differing) {
    if (!differing) return "\"conforms\": null, \"differing\": null";
    return std::string("\"conforms\": ") + (differing->text.empty() ? "true" : "false") + ", \"differing\": [" +
           differing->json + "]";
}

}  // namespace tool
