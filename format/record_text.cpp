#include "record_text.hpp"

#include <algorithm>

namespace format {

std::string BsnText(const unsigned char* record) {
    constexpr char kHexDigits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < kBsnBytes; ++i) {
        const unsigned char byte = record[kBsnOffset + i];
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0x0F];
    }
    return text;
}

bool IsTenDigits(std::string_view bsn) {
    return bsn.size() == kBsnDigits && std::all_of(bsn.begin(), bsn.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsErased(const unsigned char* record) {
    return std::all_of(record, record + kRecordSize, [](unsigned char byte) { return byte == 0xFF; });
}

}  // namespace format
