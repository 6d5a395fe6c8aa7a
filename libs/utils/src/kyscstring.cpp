// The intern table behind scString.
//
// An open-addressing array of atomic entry pointers with linear probing.
// Readers take no lock: they acquire-load the current array, probe it and
// compare the cached hash, the length and then the text of each entry they
// meet. Entries and arrays are published with release stores after they are
// fully built, so a reader that sees a pointer sees what it points to.
//
// Writers serialise on one mutex. An insert re-probes under the mutex (the
// name may have arrived meanwhile), stores the new entry into a free slot and,
// when the array gets too full, builds a twice larger one, re-inserts the
// entry pointers and publishes it. A reader still probing an older array only
// misses names added since; a miss always ends in the locked re-check, so no
// name is ever interned twice. Old arrays stay reachable through `previous`
// and nothing is ever freed: handles and late readers stay valid for the life
// of the process.

#include "kyscstring.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <mutex>

namespace ky {

namespace {

using entry = scString::entry;

struct slotArray {
    std::size_t mask;                       // capacity - 1; the capacity is a power of two
    std::atomic<const entry*>* slots;       // null slots are free
    const slotArray* previous;              // the array this one replaced, kept for late readers
};

struct internTable {
    std::mutex writer;                         // serialises inserts and growth
    std::atomic<const slotArray*> current{};   // null until the first insert
    std::size_t count = 0;                     // entries in `current`; guarded by `writer`
};

// Constant-initialised and never destroyed, so interning works during static
// initialisation and destruction of other modules too.
constinit internTable gTable;

constexpr std::size_t initialCapacity = 1024;

bool matches(const entry& e, std::size_t hash, const wchar_t* text, std::size_t length) noexcept {
    return e.hash == hash && e.text.size() == length && detail::sameChars(e.text.data(), text, length);
}

// The entry of the text in `array`, or null. Safe without the lock.
const entry* probe(const slotArray* array, std::size_t hash, const wchar_t* text,
                   std::size_t length) noexcept {
    if (!array) return nullptr;
    for (std::size_t i = hash & array->mask;; i = (i + 1) & array->mask) {
        const entry* e = array->slots[i].load(std::memory_order_acquire);
        if (!e) return nullptr;
        if (matches(*e, hash, text, length)) return e;
    }
}

// Stores `e` into the first free slot of its probe sequence.
void place(const slotArray& array, const entry* e) noexcept {
    std::size_t i = e->hash & array.mask;
    while (array.slots[i].load(std::memory_order_relaxed)) i = (i + 1) & array.mask;
    array.slots[i].store(e, std::memory_order_release);
}

const slotArray* makeArray(std::size_t capacity, const slotArray* previous) {
    auto* slots = new std::atomic<const entry*>[capacity]();
    return new slotArray{capacity - 1, slots, previous};
}

// A twice larger array holding every entry of `old` (caller holds the lock).
const slotArray* grow(const slotArray* old) {
    const slotArray* bigger = makeArray(2 * (old->mask + 1), old);
    for (std::size_t i = 0; i <= old->mask; ++i) {
        if (const entry* e = old->slots[i].load(std::memory_order_relaxed)) place(*bigger, e);
    }
    return bigger;
}

// The locked path: re-checks, then inserts a new entry.
const entry* insert(std::size_t hash, const wchar_t* text, std::size_t length) {
    std::lock_guard<std::mutex> lock(gTable.writer);
    const slotArray* array = gTable.current.load(std::memory_order_relaxed);
    if (const entry* found = probe(array, hash, text, length)) return found;

    // Keep the load factor at or below 1/2 so probe runs stay short.
    if (!array) {
        array = makeArray(initialCapacity, nullptr);
        gTable.current.store(array, std::memory_order_release);
    } else if (2 * (gTable.count + 1) > array->mask + 1) {
        array = grow(array);
        gTable.current.store(array, std::memory_order_release);
    }
    const entry* e = new entry{hash, ky::string(text, length)};
    place(*array, e);
    ++gTable.count;
    return e;
}

std::size_t textLength(const wchar_t* text) noexcept { return text ? std::wcslen(text) : 0; }

}  // namespace

scString scString::createFrom(const wchar_t* text, std::size_t length) {
    if (length == 0) return scString();
    const std::size_t hash = hashOf(text, length);
    const entry* e = probe(gTable.current.load(std::memory_order_acquire), hash, text, length);
    return scString(e ? e : insert(hash, text, length));
}

scString scString::createFrom(const wchar_t* text) { return createFrom(text, textLength(text)); }

scString scString::createFrom(const ky::string& text) { return createFrom(text.data(), text.size()); }

bool scString::find(const wchar_t* text, std::size_t length, scString& out) {
    if (length == 0) {
        out = scString();
        return true;
    }
    const std::size_t hash = hashOf(text, length);
    const entry* e = probe(gTable.current.load(std::memory_order_acquire), hash, text, length);
    if (e) out = scString(e);
    return e != nullptr;
}

std::size_t scString::count() {
    std::lock_guard<std::mutex> lock(gTable.writer);
    return gTable.count;
}

const ky::string& scString::emptyText() noexcept {
    static const ky::string* const empty = new ky::string();
    return *empty;
}

}  // namespace ky
