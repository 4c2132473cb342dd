#include "json_text.hpp"

#include <cstdio>

namespace format {
namespace {

bool InRange(unsigned char byte, unsigned char lowest, unsigned char highest) {
    return byte >= lowest && byte <= highest;
}

// The length of the well-formed UTF-8 sequence that starts `text`, or 0. The second
// byte's range is what rules out overlong forms, surrogates and code points past U+10FFFF.
std::size_t SequenceLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    unsigned char lowest = 0x80, highest = 0xBF;
    if (InRange(lead, 0xC2, 0xDF)) {
        length = 2;
    } else if (InRange(lead, 0xE0, 0xEF)) {
        length = 3;
        if (lead == 0xE0) lowest = 0xA0;
        if (lead == 0xED) highest = 0x9F;
    } else if (InRange(lead, 0xF0, 0xF4)) {
        length = 4;
        if (lead == 0xF0) lowest = 0x90;
        if (lead == 0xF4) highest = 0x8F;
    }
    if (length == 0 || text.size() < length) return 0;
    if (!InRange(static_cast<unsigned char>(text[1]), lowest, highest)) return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (!InRange(static_cast<unsigned char>(text[i]), 0x80, 0xBF)) return 0;
    }
    return length;
}

void AppendAscii(std::string& json, char c) {
    if (c == '"' || c == '\\') {
        json += '\\';
        json += c;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
        json += escaped;
    } else {
        json += c;
    }
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (std::size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            AppendAscii(json, text[i++]);
        } else if (const std::size_t length = SequenceLength(text.substr(i)); length > 0) {
            json += text.substr(i, length);
            i += length;
        } else {
            json += "\\ufffd";
            ++i;
        }
    }
    return json + "\"";
}

}  // namespace format
