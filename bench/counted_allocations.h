// Counts the bytes a benchmark program holds through operator new: include
// this header in exactly one file of a program (each bench/*.cpp is one).
// gInUse is what is held now, gPeak the most held since it was last set.
#pragma once

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long long> gInUse{0};
std::atomic<long long> gPeak{0};

void counted(void* p) {
    if (!p) return;
    const auto size = static_cast<long long>(malloc_usable_size(p));
    const long long now = gInUse.fetch_add(size) + size;
    long long peak = gPeak.load();
    while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
    }
}

}  // namespace

// The replaced operators pair malloc with free themselves; g++ cannot see
// that through the inlined sized delete.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    counted(p);
    return p;
}
void operator delete(void* p) noexcept {
    if (!p) return;
    gInUse.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
