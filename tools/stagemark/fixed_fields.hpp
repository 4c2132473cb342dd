// The bytes around the stage fields that stagemark writes the same in every record: which
// of them a record holds otherwise, for decode and for a phone on the desk.
#pragma once

#include <optional>
#include <string>

#include "library.hpp"
#include "record_format.hpp"

namespace tool {

// The fixed fields that differ from what stagemark writes, as text ("header at 780") and
// as JSON objects; both empty when the record holds them as stagemark writes them.
struct Differing {
    std::string text, json;
};

Differing FindDiffering(const format::Record& record);

// The fixed fields of the phone on the open link, when the desk's stand-in can show its
// whole record. A station's library keeps only the stage fields of what it reads, and the
// vendor's driver offers no second look without a second read on the link: then empty.
std::optional<Differing> PhoneFixedFields(const Exports& library, int port);

// For JSON: "conforms": true/false/null, "differing": [...]/null.
std::string FixedFieldsJson(const std::optional<Differing>& differing);

}  // namespace tool
