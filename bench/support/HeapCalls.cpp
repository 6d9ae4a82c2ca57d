// Replaces the C heap's allocation functions in the benchmarks that call HeapCallCount() (the
// linker takes this file only for them), so that memory a library takes without operator new
// (a C library's own buffers) is counted too. glibc's own entry points do the work.

#include <atomic>
#include <cstddef>

#include "BenchSupport.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {
std::atomic<std::uint64_t> Calls{0};

void Count() {
    Calls.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

extern "C" {
void* malloc(std::size_t size) {
    Count();
    return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
    Count();
    return __libc_calloc(count, size);
}
void* realloc(void* p, std::size_t size) {
    Count();
    return __libc_realloc(p, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
    Count();
    return __libc_memalign(alignment, size);
}
int posix_memalign(void** p, std::size_t alignment, std::size_t size) {
    Count();
    *p = __libc_memalign(alignment, size);
    return *p != nullptr ? 0 : 12; // ENOMEM
}
}

std::uint64_t tellamo::bench::HeapCallCount() {
    return Calls.load(std::memory_order_relaxed);
}
