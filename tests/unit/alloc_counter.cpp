// Counts the heap allocations of the test binary. The build links it with
//   -Wl,--wrap=malloc -Wl,--wrap=calloc -Wl,--wrap=realloc -Wl,--wrap=free
// so that every call the linked objects make to those functions arrives here
// first; the global operator new and delete (all the usual forms) are
// replaced as well, on top of the same functions. Every call adds one to the
// counter, frees included: code that needs no heap makes none of them.
//
// The wrap reaches the objects and static libraries of the link. Calls made
// inside shared libraries (a dynamically linked C++ library, or the
// sanitizer runtime's own interceptors) do not pass through it; alloc_test.cpp
// checks which of these the counter actually sees.
#include <atomic>
#include <cstddef>
#include <new>

extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* pointer, std::size_t size);
void __real_free(void* pointer);
}

namespace {

std::atomic<unsigned long> Calls{0};

void Count() { Calls.fetch_add(1, std::memory_order_relaxed); }

void* NewBlock(std::size_t size) {
    Count();
    void* p = __real_malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}

void* NewBlockNoThrow(std::size_t size) noexcept {
    Count();
    return __real_malloc(size == 0 ? 1 : size);
}

void DeleteBlock(void* p) noexcept {
    Count();
    __real_free(p);
}

}  // namespace

// The number of calls to malloc, calloc, realloc, free, new and delete so far.
unsigned long AllocationCalls() { return Calls.load(std::memory_order_relaxed); }

extern "C" {

void* __wrap_malloc(std::size_t size) {
    Count();
    return __real_malloc(size);
}

void* __wrap_calloc(std::size_t count, std::size_t size) {
    Count();
    return __real_calloc(count, size);
}

void* __wrap_realloc(void* pointer, std::size_t size) {
    Count();
    return __real_realloc(pointer, size);
}

void __wrap_free(void* pointer) {
    Count();
    __real_free(pointer);
}

}  // extern "C"

void* operator new(std::size_t size) { return NewBlock(size); }
void* operator new[](std::size_t size) { return NewBlock(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return NewBlockNoThrow(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return NewBlockNoThrow(size); }

void operator delete(void* p) noexcept { DeleteBlock(p); }
void operator delete[](void* p) noexcept { DeleteBlock(p); }
void operator delete(void* p, std::size_t) noexcept { DeleteBlock(p); }
void operator delete[](void* p, std::size_t) noexcept { DeleteBlock(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { DeleteBlock(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { DeleteBlock(p); }
