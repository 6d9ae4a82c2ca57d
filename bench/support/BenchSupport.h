#pragma once

#include <cstdint>

namespace tellamo::bench {

// Allocations made by the program so far: every operator new of a benchmark that calls this is
// counted, so that a benchmark can show that its timed work allocates nothing.
std::uint64_t AllocationCount();

// The process's resident memory in kilobytes.
long ResidentKb();

} // namespace tellamo::bench
