#include "record_view.hpp"

#include "utc_text.hpp"

namespace tool {

std::string BsnText(const Exports& library) {
    char bsn[STAGEMARK_BSN_TEXT_SIZE] = {};
    return library.GetBsnStr(bsn) ? std::string(bsn) : std::string();
}

std::string RecordedAt(const TestHandle& copy, int slot) { return format::StampText(copy.stamps[slot]); }

}  // namespace tool
