#include "record_view.hpp"

#include <cstdint>

#include "utc_time.hpp"

namespace tool {

std::string BsnText(const Exports& library) {
    char bsn[STAGEMARK_BSN_TEXT_SIZE] = {};
    return library.GetBsnStr(bsn) ? std::string(bsn) : std::string();
}

bool IsTenDigits(const std::string& bsn) {
    if (bsn.size() != 10) return false;
    for (char c : bsn) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::string RecordedAt(const TestHandle& copy, int slot) {
    const unsigned char* stamp = copy.stamps[slot];
    return UtcText(std::uint32_t{stamp[0]} << 24 | std::uint32_t{stamp[1]} << 16 | std::uint32_t{stamp[2]} << 8 |
                   stamp[3]);
}

}  // namespace tool
