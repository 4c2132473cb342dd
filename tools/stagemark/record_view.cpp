#include "record_view.hpp"

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

std::string RecordedAt(const TestHandle& copy, int slot) { return StampText(copy.stamps[slot]); }

}  // namespace tool
