#include "record_view.hpp"

#include <cstdint>
#include <ctime>

namespace tool {

std::string BsnText() {
    char bsn[STAGEMARK_BSN_TEXT_SIZE] = {};
    return GetBsnStr(bsn) ? std::string(bsn) : std::string();
}

std::string RecordedAt(const TestHandle& copy, const StageEntry& stage) {
    const unsigned char* stamp = copy.stamps[stage.slot];
    const std::uint32_t seconds =
        std::uint32_t{stamp[0]} << 24 | std::uint32_t{stamp[1]} << 16 | std::uint32_t{stamp[2]} << 8 | stamp[3];
    const std::time_t time = static_cast<std::time_t>(seconds);
    const std::tm* utc = std::gmtime(&time);
    char text[32] = {};
    if (utc == nullptr || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc) == 0) return "?";
    return text;
}

}  // namespace tool
