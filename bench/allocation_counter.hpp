// Counts the heap allocations made through operator new anywhere in the process,
// the library's included: the benchmark replaces the global operators.
#pragma once

#include <cstddef>

namespace bench {

std::size_t AllocationCount();

}  // namespace bench
