// stagemark decode: a saved record dump shown the way status shows a phone, with what in
// it differs from the record stagemark writes, and erased flash shown as erased. Needs
// no phone and no library.
#pragma once

#include "options.hpp"

namespace tool {

int Decode(const Options& options);

}  // namespace tool
