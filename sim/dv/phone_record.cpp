#include "phone_record.hpp"

#include <algorithm>
#include <chrono>

namespace sim {
namespace {

constexpr std::size_t kPassthroughSize = 780;
constexpr unsigned char kHeader[8] = {0x00, 0x01, 0x00, 0xFF, '5', '8', '2', '7'};
constexpr unsigned char kPairBlock[12] = {0x01, 0xD5, 0x02, 0xC5, 0x03, 0xCE, 0x04, 0xF7, 0x05, 0xB8, 0x06, 0xFC};

}  // namespace

bool NewPhoneRecord(std::string_view bsn, Record& record) {
    if (bsn.size() != SIM_BSN_DIGITS) return false;
    if (!std::all_of(bsn.begin(), bsn.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;

    record.fill(0x00);
    std::fill_n(record.begin(), kPassthroughSize, 0xFF);  // never-written flash reads as 0xFF
    std::copy(std::begin(kHeader), std::end(kHeader), record.begin() + 780);
    for (std::size_t i = 0; i < SIM_BSN_DIGITS / 2; ++i) {
        const int high = bsn[2 * i] - '0';
        const int low = bsn[2 * i + 1] - '0';
        record[record_offset::bsn + i] = static_cast<unsigned char>(high << 4 | low);
    }
    std::fill_n(record.begin() + 794, 16, 0xFF);
    std::copy(std::begin(kPairBlock), std::end(kPairBlock), record.begin() + 826);
    return true;
}

bool SetStages(Record& record, const signed char states[8], std::uint32_t seconds) {
    for (int slot = 0; slot < 8; ++slot) {
        if (states[slot] < -1 || states[slot] > 2) return false;
    }
    unsigned char& done = record[record_offset::doneFlags];
    unsigned char& passed = record[record_offset::passFlags];
    for (int slot = 0; slot < 8; ++slot) {
        if (states[slot] == -1) continue;
        const auto mask = static_cast<unsigned char>(0x80u >> slot);
        const auto others = static_cast<unsigned char>(~mask);
        done = static_cast<unsigned char>(states[slot] == 0 ? done & others : done | mask);
        passed = static_cast<unsigned char>(states[slot] == 1 ? passed | mask : passed & others);
        if (states[slot] == 0) continue;
        for (int i = 0; i < 4; ++i) {
            record[record_offset::stamps + 4 * static_cast<std::size_t>(slot) + static_cast<std::size_t>(i)] =
                static_cast<unsigned char>(seconds >> (24 - 8 * i));
        }
    }
    return true;
}

std::uint32_t SecondsNow() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<seconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace sim
