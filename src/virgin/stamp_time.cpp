#include "stamp_time.hpp"

#include <ctime>

namespace stagemark {

void EncodeStamp(std::uint32_t seconds, unsigned char slot[4]) {
    slot[0] = static_cast<unsigned char>(seconds >> 24);
    slot[1] = static_cast<unsigned char>(seconds >> 16);
    slot[2] = static_cast<unsigned char>(seconds >> 8);
    slot[3] = static_cast<unsigned char>(seconds);
}

void StampTime(unsigned char slot[4]) {
    EncodeStamp(static_cast<std::uint32_t>(std::time(nullptr)), slot);
}

}  // namespace stagemark
