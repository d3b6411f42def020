// Replaces the global operator new and delete of the program that includes
// this header (include it in exactly one source file): every allocation is
// counted, so a test or benchmark can read the bytes alive and their peak,
// and make the n-th allocation from now fail with std::bad_alloc.
#ifndef TERVALA_TESTS_COUNTINGALLOCATOR_H
#define TERVALA_TESTS_COUNTINGALLOCATOR_H

#include <algorithm>
#include <cstdlib>
#include <new>

namespace counting {

inline long long live = 0;           // bytes allocated and not yet freed
inline long long peak = 0;           // largest `live` since last set
inline long long failCountdown = -1; // the allocation that reaches 0 fails; -1: none

// Out of line, so the compiler never sees new paired with free.
__attribute__((noinline)) inline void* allocate(std::size_t size)
{
    auto* block = failCountdown > 0 && --failCountdown == 0 ? nullptr
                                                           : static_cast<std::size_t*>(std::malloc(size + 16));
    if (block == nullptr)
        throw std::bad_alloc();
    block[0] = size;
    peak = std::max(peak, live += static_cast<long long>(size));
    return block + 2;
}

__attribute__((noinline)) inline void release(void* p) noexcept
{
    if (p != nullptr) {
        live -= static_cast<long long>(static_cast<std::size_t*>(p)[-2]);
        std::free(static_cast<std::size_t*>(p) - 2);
    }
}

} // namespace counting

// The nothrow forms too, so that no block reaches the wrong release.
void* operator new(std::size_t size) { return counting::allocate(size); }
void* operator new[](std::size_t size) { return counting::allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return counting::allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { counting::release(p); }
void operator delete[](void* p) noexcept { counting::release(p); }
void operator delete(void* p, std::size_t) noexcept { counting::release(p); }
void operator delete[](void* p, std::size_t) noexcept { counting::release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { counting::release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { counting::release(p); }

#endif
