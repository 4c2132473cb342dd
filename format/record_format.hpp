// Where record 1000 keeps what the stations record, and the bytes stagemark always
// writes around it.
#pragma once

#include <array>
#include <cstddef>
#include <span>

namespace format {

inline constexpr std::size_t kRecordSize = 1036;
// The start of the record, which stagemark carries through every write unchanged.
inline constexpr std::size_t kPassthroughSize = 780;
// The BSN: ten decimal digits, two to a byte.
inline constexpr std::size_t kBsnOffset = 789, kBsnBytes = 5, kBsnDigits = 10;
// One bit a stage, the first stage in the top bit: recorded at all, and passed.
inline constexpr std::size_t kPassFlagsOffset = 810, kDoneFlagsOffset = 811;
// Each stage's last recording time, four bytes a stage.
inline constexpr std::size_t kStampsOffset = 838;
inline constexpr int kStageCount = 8;

using Record = std::array<unsigned char, kRecordSize>;

// A run of bytes that holds the same value in every record stagemark writes.
struct FixedField {
    const char* name;
    std::size_t offset;
    std::size_t size;
    const unsigned char* bytes;
};

namespace fixed_bytes {

template <std::size_t N>
constexpr std::array<unsigned char, N> Filled(unsigned char value) {
    std::array<unsigned char, N> bytes{};
    bytes.fill(value);
    return bytes;
}

inline constexpr std::array<unsigned char, 8> kHeader = {0x00, 0x01, 0x00, 0xFF, '5', '8', '2', '7'};
inline constexpr std::array<unsigned char, 1> kAfterHeader = {0x00};
inline constexpr auto kFfBlock = Filled<16>(0xFF);
inline constexpr auto kZerosAfterFlags = Filled<14>(0x00);
inline constexpr std::array<unsigned char, 12> kPairBlock = {0x01, 0xD5, 0x02, 0xC5, 0x03, 0xCE,
                                                             0x04, 0xF7, 0x05, 0xB8, 0x06, 0xFC};
inline constexpr auto kZerosAfterStamps = Filled<166>(0x00);

}  // namespace fixed_bytes

inline constexpr FixedField kFixedFieldTable[] = {
    {"header", 780, fixed_bytes::kHeader.size(), fixed_bytes::kHeader.data()},
    {"byte after the header", 788, fixed_bytes::kAfterHeader.size(), fixed_bytes::kAfterHeader.data()},
    {"0xFF block", 794, fixed_bytes::kFfBlock.size(), fixed_bytes::kFfBlock.data()},
    {"zeros after the flags", 812, fixed_bytes::kZerosAfterFlags.size(), fixed_bytes::kZerosAfterFlags.data()},
    {"pair block", 826, fixed_bytes::kPairBlock.size(), fixed_bytes::kPairBlock.data()},
    {"zeros after the stamps", 870, fixed_bytes::kZerosAfterStamps.size(), fixed_bytes::kZerosAfterStamps.data()},
};
inline constexpr std::span<const FixedField> kFixedFields{kFixedFieldTable};

// A field that overlapped another, or ran past the record, would make decode report a
// sound record as differing.
static_assert([] {
    std::size_t end = kPassthroughSize;
    for (const FixedField& field : kFixedFields) {
        if (field.offset < end) return false;
        end = field.offset + field.size;
    }
    return end <= kRecordSize;
}());

}  // namespace format
