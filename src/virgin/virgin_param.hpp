// Record 1000 in the phone's data flash, and its transfer to and from the working copy.
#pragma once

#include <cstddef>

#include "stagemark.h"

namespace stagemark {

inline constexpr int VIRGIN_PARAM_ID = 1000;
inline constexpr std::size_t VIRGIN_PARAM_SIZE = 1036;
inline constexpr std::size_t TEST_HANDLE_SIZE = STAGEMARK_TEST_HANDLE_SIZE;
inline constexpr std::size_t PASSTHROUGH_SIZE = STAGEMARK_PASSTHROUGH_SIZE;
// What a record carries beyond its pass-through area.
inline constexpr std::size_t RECORD_OVERHEAD = VIRGIN_PARAM_SIZE - PASSTHROUGH_SIZE;

// Where the record keeps the fields; the working copy keeps them elsewhere.
namespace record_offset {
inline constexpr std::size_t header = 780;
inline constexpr std::size_t bsn = 789;
inline constexpr std::size_t ffBlock = 794;
inline constexpr std::size_t passFlags = 810;
inline constexpr std::size_t doneFlags = 811;
inline constexpr std::size_t pairBlock = 826;
inline constexpr std::size_t stamps = 838;
}  // namespace record_offset

// Stations see the working copy through the public header: it must stay byte-exact.
static_assert(sizeof(TestHandle) == TEST_HANDLE_SIZE);
static_assert(offsetof(TestHandle, passthrough) == 0);
static_assert(offsetof(TestHandle, bsn) == 780);
static_assert(offsetof(TestHandle, passFlags) == 785);
static_assert(offsetof(TestHandle, doneFlags) == 786);
static_assert(offsetof(TestHandle, stamps) == 787);

// Builds the 1036-byte record from a working copy: the five carried fields, the rest constant.
void BuildVirginParam(const TestHandle& source, unsigned char record[VIRGIN_PARAM_SIZE]);

// Fills the destination from the phone's record. False when the driver failed
// or handed back anything but a whole 1036-byte record; the destination is then untouched.
bool ReadVirginParam(TestHandle& destination);

// Writes the record built from the source. True when the driver stored it.
bool WriteVirginParam(const TestHandle& source);

}  // namespace stagemark
