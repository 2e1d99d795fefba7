#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <cstddef>

// The C library's allocator under its own names, which the definitions below hand on to.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {
std::atomic<bool> g_counting{false};
std::atomic<uint64_t> g_allocations{0};

void count()
{
    if (g_counting.load(std::memory_order_relaxed))
        g_allocations.fetch_add(1, std::memory_order_relaxed);
}
} // namespace

extern "C" {

void* malloc(std::size_t size) noexcept
{
    count();
    return __libc_malloc(size);
}

void* calloc(std::size_t count_, std::size_t size) noexcept
{
    count();
    return __libc_calloc(count_, size);
}

void* realloc(void* pointer, std::size_t size) noexcept
{
    count();
    return __libc_realloc(pointer, size);
}

void* memalign(std::size_t alignment, std::size_t size) noexcept
{
    count();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept
{
    count();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** pointer, std::size_t alignment, std::size_t size) noexcept
{
    count();
    void* block = __libc_memalign(alignment, size);
    if (!block)
        return 12; // ENOMEM
    *pointer = block;
    return 0;
}

} // extern "C"

void AllocationCounter::start()
{
    g_allocations.store(0);
    g_counting.store(true);
}

uint64_t AllocationCounter::stop()
{
    g_counting.store(false);
    return g_allocations.load();
}
