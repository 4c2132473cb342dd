// Feeds the record read path arbitrary driver answers: a result code, a reported
// length, and bytes living in a buffer of exactly that length (or none at all).
//
// Input: flags (1 byte), result code (4), reported length (2), then the bytes.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "record_checks.hpp"
#include "stagemark.h"

namespace {

constexpr unsigned char kNoBytes = 0x01;
constexpr unsigned char kThroughHandle = 0x02;
constexpr std::size_t kPrefix = 7;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kPrefix) return 0;
    const unsigned char flags = data[0];
    std::int32_t result;
    std::memcpy(&result, data + 1, sizeof result);
    const auto length = static_cast<unsigned short>(data[5] | data[6] << 8);
    std::vector<unsigned char> bytes(length, 0xA5);
    std::copy_n(data + kPrefix, std::min<std::size_t>(length, size - kPrefix), bytes.begin());

    CloseTestHandle();
    sim_reset();
    fuzz::Require(InitTat(1) == 1);
    sim_script_read(flags & kNoBytes ? nullptr : bytes.data(), length);
    if (result != 0) sim_fail(SIM_READ_RECORD, 0, result, 0);
    const bool whole_record = result == 0 && !(flags & kNoBytes) && length == SIM_RECORD_SIZE;

    if (flags & kThroughHandle) {
        auto* copy = reinterpret_cast<TestHandle*>(OpenTestHandle());
        fuzz::Require((copy != nullptr) == whole_record);
        if (copy != nullptr) {
            fuzz::Require(std::memcmp(copy->passthrough, bytes.data(), STAGEMARK_PASSTHROUGH_SIZE) == 0);
            fuzz::Require(copy->passFlags == bytes[810] && copy->doneFlags == bytes[811]);
            char bsn[STAGEMARK_BSN_TEXT_SIZE];
            fuzz::Require(GetBsnStr(bsn) == 1 && std::strlen(bsn) == 10);
            const int status = FT_Status();
            fuzz::Require(status >= 0 && status <= 2);
            fuzz::Require(FT_Fail() == 1 && FT_Status() == 2);
        }
        CloseTestHandle();
    } else {
        fuzz::Require(R_RES1_Pass() == (whole_record ? 1 : 0));
    }
    // Nothing reaches the phone after a refused read.
    fuzz::Require(fuzz::WriteCount() == (whole_record ? 1u : 0u));
    fuzz::RequireWellFormedWrites();
    ExitTat(1);
    return 0;
}
