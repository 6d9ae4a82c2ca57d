#pragma once

#include <cstdint>

namespace tellamo::bench {

// Allocations made by the program so far: every operator new of a benchmark that calls this is
// counted, so that a benchmark can show that its timed work allocates nothing.
std::uint64_t AllocationCount();

// Calls of the C heap's allocation functions so far (malloc, calloc, realloc, posix_memalign,
// aligned_alloc, memalign), which catch what a library allocates without operator new. Counted
// only in the programs that call this; each operator new counted above is one of them too.
std::uint64_t HeapCallCount();

// The process's resident memory in kilobytes.
long ResidentKb();

} // namespace tellamo::bench
