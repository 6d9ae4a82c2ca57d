// Replaces the global allocation functions in the benchmarks that call AllocationCount() (the
// linker takes this file only for them).

#include <atomic>
#include <cstdlib>
#include <new>

#include "BenchSupport.h"

namespace {
std::atomic<std::uint64_t> Allocations{0};
} // namespace

void* operator new(std::size_t size) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) {
        return p;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

std::uint64_t tellamo::bench::AllocationCount() {
    return Allocations.load(std::memory_order_relaxed);
}
