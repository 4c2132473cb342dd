// What a record says of the phone as text: its BSN, and whether it was ever written.
#pragma once

#include <string>
#include <string_view>

#include "record_build.hpp"  // the records made whole come with their texts
#include "record_format.hpp"

namespace format {

// The BSN as the library's GetBsnStr renders it: two lowercase hexadecimal digits a
// byte, so "ffffffffff" for flash never written.
std::string BsnText(const unsigned char* record);

// A BSN that the BSN station wrote: ten decimal digits.
bool IsTenDigits(std::string_view bsn);

// Every byte 0xFF: flash never written. Read as flags, such a record has every stage
// passed, so it must be recognised before its stages are shown or trusted.
bool IsErased(const unsigned char* record);

}  // namespace format
