// Text made safe for the tools' JSON output, whatever bytes a path, a message or a
// phone's record brings.
#pragma once

#include <string>
#include <string_view>

namespace format {

// `text` as a quoted JSON string. Quote and backslash are escaped, every control
// character (below 0x20, and DEL) is written \u00xx, and each byte that is not part of
// well-formed UTF-8 (a stray continuation, a truncated sequence, an overlong form, a
// surrogate, above U+10FFFF) becomes \ufffd, so any reader can parse the output.
// Well-formed UTF-8 passes through unchanged.
std::string JsonString(std::string_view text);

}  // namespace format
