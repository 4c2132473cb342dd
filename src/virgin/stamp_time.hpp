// Time stamps: the calendar clock's seconds, low 32 bits, most significant byte first.
#pragma once

#include <cstdint>

namespace stagemark {

void EncodeStamp(std::uint32_t seconds, unsigned char slot[4]);

// Reads the clock once and stores it in the four-byte slot.
void StampTime(unsigned char slot[4]);

}  // namespace stagemark
