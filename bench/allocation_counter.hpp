// Counts the heap allocations that the library's code makes.
#pragma once

#include <cstddef>

namespace bench {

// Starts counting the allocations of `module`, the file that holds the library's code
// (on Windows, where each module has its own runtime; the count then covers malloc,
// calloc and realloc). Elsewhere every operator new in the process is counted.
void CountAllocationsIn(const char* module);

std::size_t AllocationCount();

}  // namespace bench
