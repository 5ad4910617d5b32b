// What the coverage-guided targets share: the report of a broken invariant
// (it aborts, so that libFuzzer keeps the input as a crash), a reader of the
// input's leading option bytes, and heap copies of exactly the promised size,
// so that AddressSanitizer reports any access past a buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// AddressSanitizer's quarantine of freed memory, 256 MB by default, makes
// every allocation of a run touch fresh pages, which costs the targets two
// thirds of their speed; a few megabytes still catch a use after free within
// one input. (Each target is one source file, so this is defined once.)
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=8";
}

// Reports the broken invariant and ends the run.
[[noreturn]] inline void FuzzFail(const char* what, const char* detail = nullptr) {
    std::fprintf(stderr, "fuzz: invariant broken: %s%s%s\n", what, detail ? ": " : "",
                 detail ? detail : "");
    std::abort();
}

#define FUZZ_CHECK(condition, what)                   \
    do {                                              \
        if (!(condition)) FuzzFail(what, #condition); \
    } while (0)

// The input: option bytes taken from its front (0 once it is used up), then
// the rest as the text.
struct FuzzInput {
    const uint8_t* data;
    size_t size;

    uint8_t Byte() {
        if (size == 0) return 0;
        size--;
        return *data++;
    }
    uint32_t Word() {
        uint32_t w = 0;
        for (int i = 0; i < 4; i++) w |= uint32_t(Byte()) << (8 * i);
        return w;
    }
};

// A heap buffer of exactly size bytes, filled with fill.
struct HeapBuffer {
    char* bytes;
    size_t size;

    HeapBuffer(size_t n, int fill) : bytes(static_cast<char*>(std::malloc(n ? n : 1))), size(n) {
        std::memset(bytes, fill, n);
    }
    HeapBuffer(const HeapBuffer&) = delete;
    HeapBuffer& operator=(const HeapBuffer&) = delete;
    ~HeapBuffer() { std::free(bytes); }
};

// A NUL-terminated heap copy of n bytes that ends right after its NUL.
struct HeapText : HeapBuffer {
    HeapText(const void* text, size_t n) : HeapBuffer(n + 1, 0) { std::memcpy(bytes, text, n); }
    explicit HeapText(const char* text) : HeapText(text, std::strlen(text)) {}
};
