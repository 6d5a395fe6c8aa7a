// The index through which a model's lookups find its classes without a lock.
//
// Readers never lock and write only their own hazard slot: a lookup loads
// the current slot array with acquire order and probes it linearly by the
// name's hash. Each slot keeps its key's hash and, when the name is short
// and ASCII, its characters, so that a lookup checks such a name in the slot
// and reads nothing of a class it does not answer; a longer name is checked
// in the class's own record once the class is published. No lookup consults
// the table of interned names. Only the model's writer (holding the model's
// lock) changes the index:
//
// - a new name fills a free slot, class pointer first and key second (a
//   release store), so a reader that sees the key also sees its class;
// - a replacement stores the new class into the slot of its name; the key
//   stays, so a reader finds the old class or the new one, never neither;
// - growth builds a larger array beside the current one and publishes it
//   with one release store. The old array stays allocated until the model
//   ends, since a reader may still be probing it; the arrays double, so all
//   of them together take less than twice the last one.
//
// A class found here must not be freed between the reader's load of its
// pointer and the reader's counted reference to it. The model owns every
// registered class, so only a replaced class can go. Each reading thread has
// a hazard slot of its own (claimed once per thread, never shared between
// live threads): it publishes the pointer it is about to take there, then
// checks that the index still holds it. The writer, after putting the new
// class in place, drops the model's reference to the old one only when no
// slot holds it, else keeps it and tries again at its next change and when
// the model ends. Both sides use sequentially consistent order, so either the
// reader sees the new pointer and retries, or the writer sees the hazard.
// A reader writes only its own slot and the reference count; a lookup of a
// read scope writes nothing at all (see the read scopes below).
//
// A replaced class lets go of its fields before its successor is in place,
// and lookups of other classes may be reading them (as a base). So the
// writer first marks the class (its slot holds the pointer with the lowest
// bit set; its record says `retiring`, which base walks pass by) and waits
// until every lookup that has published something has ended (each thread
// counts its lookups, odd while one runs). A lookup that meets a marked slot
// withdraws what it published, lets its count move on and starts again, so
// it answers the successor.
//
// The load factor stays at or below 1/2, so probe runs are short. Keys are
// interned handles; the empty name (whose handle is 0, the free-slot mark)
// has a slot of its own.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string_view>
#include <thread>
#include <type_traits>
#include <vector>

#include <kyscstring.h>

#include "kymdlnamekey.h"

namespace ky::metamodel {
class classInfo;
}

namespace ky::metamodel::detail {

// Readers publish with a plain store and a compiler-only fence where the
// system offers a barrier that the writer can run on every thread of the
// process at once (Linux's membarrier); the writer runs it before it reads
// what readers published. Elsewhere, and under ThreadSanitizer (which does
// not know that barrier), readers publish with sequentially consistent
// stores instead. A reader may see the flag late and publish the strong
// way, which is always sound; writers ask heavyBarrierReady(), which
// registers the barrier once, before the first model exists.
inline std::atomic<bool> gLightReaders{false};
bool heavyBarrierReady();
// Orders the caller's earlier stores before the stores that readers have
// made so far, and those before the caller's later loads.
void heavyBarrier();

template <class T>
void publish(std::atomic<T>& held, std::type_identity_t<T> value) {
    if (gLightReaders.load(std::memory_order_relaxed)) {
        held.store(value, std::memory_order_release);
        std::atomic_signal_fence(std::memory_order_seq_cst);
    } else {
        held.store(value);
    }
}

// The hazard slots of the threads that read indexes: two pointers each (the
// class being looked at, and the best match an alias walk keeps).
// `lookups` counts the thread's lookups started and ended (odd while one
// runs), so that a writer can wait for the lookups in flight to end.
//
// `scopes` counts the thread's outermost read scopes begun and ended (odd
// while one is open; never reset, also when a later thread reuses the slot),
// and `scoped` names the model they read, or severalModels. `depth` counts
// the thread's open scopes, nested ones included; only the owner reads it.
struct hazardSlot {
    std::atomic<const void*> held[2] = {nullptr, nullptr};
    std::atomic<unsigned> lookups{0};
    std::atomic<unsigned> scopes{0};
    std::atomic<const void*> scoped{nullptr};
    unsigned depth = 0;
    std::atomic<bool> taken{true};
    hazardSlot* next = nullptr;
};

// Every slot ever made; slots are reused by later threads and never freed.
inline std::atomic<hazardSlot*> gHazards{nullptr};

inline hazardSlot* claimHazardSlot() {
    for (hazardSlot* s = gHazards.load(std::memory_order_acquire); s; s = s->next) {
        bool free = false;
        if (!s->taken.load(std::memory_order_relaxed) && s->taken.compare_exchange_strong(free, true)) return s;
    }
    auto* s = new hazardSlot;
    s->next = gHazards.load(std::memory_order_relaxed);
    while (!gHazards.compare_exchange_weak(s->next, s, std::memory_order_release, std::memory_order_relaxed)) {
    }
    return s;
}

// Claims a slot for the calling thread, stores it in `mine` and arranges
// that the slot is given back (and `mine` cleared) when the thread ends.
hazardSlot& claimForThisThread(hazardSlot*& mine);

// The calling thread's slot; given back when the thread ends. The pointer
// needs no initialisation at run time, and the library is linked at start
// or loaded early, so its few bytes of static thread storage spare every
// lookup a call to find them.
inline hazardSlot& myHazards() {
    static thread_local hazardSlot* mine __attribute__((tls_model("initial-exec"))) = nullptr;
    if (mine) [[likely]] return *mine;
    return claimForThisThread(mine);
}

// One lookup of the calling thread: from construction, the class it pins
// stays published; at the end both pointers are withdrawn. Only the owning
// thread writes `lookups`, so plain stores do.
class lookupScope {
public:
    lookupScope() : mSlot(myHazards()) {
        mSlot.lookups.store(mSlot.lookups.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    ~lookupScope() {
        mSlot.held[0].store(nullptr, std::memory_order_release);
        mSlot.held[1].store(nullptr, std::memory_order_release);
        mSlot.lookups.store(mSlot.lookups.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    lookupScope(const lookupScope&) = delete;
    lookupScope& operator=(const lookupScope&) = delete;

    hazardSlot& slot() const noexcept { return mSlot; }

private:
    hazardSlot& mSlot;
};

// Waits until every lookup that has already published a class has ended. A
// lookup that publishes later sees what the caller stored before (both
// sides are sequentially consistent), so a class marked as retiring before
// this call is read by no lookup once it returns.
inline void waitForLookups() {
    for (hazardSlot* s = gHazards.load(std::memory_order_acquire); s; s = s->next) {
        if (!s->held[0].load() && !s->held[1].load()) continue;
        const unsigned running = s->lookups.load(std::memory_order_acquire);
        if ((running & 1) == 0) continue;
        while (s->lookups.load(std::memory_order_acquire) == running) std::this_thread::yield();
    }
}

// Lets a writer that waits for the calling thread's lookup go on: the
// lookup withdraws what it published, ends and starts again.
inline void yieldToWriter(hazardSlot& s) {
    s.held[0].store(nullptr);
    s.held[1].store(nullptr);
    s.lookups.store(s.lookups.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    std::this_thread::yield();
    s.lookups.store(s.lookups.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

// ---- read scopes ----
//
// A read scope hands out plain pointers that stay valid until it ends, so a
// class that a scope may have seen is neither emptied nor freed while the
// scope is open. A scope costs its thread two stores to its own slot: the
// model it reads, then its count (published as a hazard is). A writer that
// retires a class, after its marks and the heavy barrier, notes every open
// scope that may read the model (the scopes count of each such slot); the
// class is emptied once each of those counts has moved on. A scope opened
// after the note sees the marks, so it never reaches the retired class.
// So a class that a scope's lookup reaches stays whole until the scope
// ends, and the lookups of a scope publish no hazard and count nothing:
// they only load. One that meets a marked slot yields and probes again
// (the writer never waits for a scope, it keeps the class instead).

// What `scoped` holds while a thread's scopes read more than one model.
inline constexpr const void* severalModels = &gHazards;

// Opens a scope of the calling thread on `model`.
inline void openScope(hazardSlot& s, const void* model) {
    if (s.depth++ == 0) {
        s.scoped.store(model, std::memory_order_relaxed);
        publish(s.scopes, s.scopes.load(std::memory_order_relaxed) + 1);
    } else if (s.scoped.load(std::memory_order_relaxed) != model) {
        publish(s.scoped, severalModels);
    }
}

// Closes the innermost scope of the calling thread. The release store
// orders every read made in the scope before a writer's sight of its end.
inline void closeScope(hazardSlot& s) {
    if (--s.depth == 0) s.scopes.store(s.scopes.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

// Whether the calling thread's open scopes read `model` and no other.
inline bool inScopeOf(const hazardSlot& s, const void* model) {
    return s.depth > 0 && s.scoped.load(std::memory_order_relaxed) == model;
}

// One open scope that may read a model: its slot and that slot's count.
struct scopeMark {
    const hazardSlot* slot;
    unsigned scopes;
};

// The scopes open now that may read `model`, the calling thread's own
// included. The caller has run the heavy barrier after its marks.
inline std::vector<scopeMark> scopesReading(const void* model) {
    std::vector<scopeMark> open;
    for (hazardSlot* s = gHazards.load(std::memory_order_acquire); s; s = s->next) {
        const unsigned scopes = s->scopes.load();
        if ((scopes & 1) == 0) continue;
        const void* scoped = s->scoped.load();
        if (scoped == model || scoped == severalModels) open.push_back({s, scopes});
    }
    return open;
}

// Whether every scope of `marks` has ended.
inline bool scopesEnded(const std::vector<scopeMark>& marks) {
    for (const scopeMark& m : marks) {
        if (m.slot->scopes.load(std::memory_order_acquire) == m.scopes) return false;
    }
    return true;
}

// Waits until the scopes open now that may read `model` have ended, those
// of the calling thread `self` left aside.
inline void waitForScopes(const void* model, const hazardSlot& self) {
    for (const scopeMark& m : scopesReading(model)) {
        if (m.slot == &self) continue;
        while (m.slot->scopes.load(std::memory_order_acquire) == m.scopes) std::this_thread::yield();
    }
}

// Whether some reader has published `p`.
inline bool isHazard(const void* p) {
    for (hazardSlot* s = gHazards.load(std::memory_order_acquire); s; s = s->next) {
        if (s->held[0].load() == p || s->held[1].load() == p) return true;
    }
    return false;
}

struct classIndex {
    // A slot keeps what a lookup compares beside the class: the name's hash
    // and, when the name is short and ASCII, its characters, so that a
    // lookup checks the name without reading the class. Both are written
    // before the key and read only after it; a replacement keeps the name.
    struct slot {
        std::atomic<std::uintptr_t> key{0};     // scString::id() of the name; 0 is free
        std::atomic<classInfo*> cls{nullptr};
        std::uint32_t hash = 0;                 // the low 32 bits of the name's indexKey hash
        unsigned char nameLength = indexKey::wide;
        char reserved[3] = {};
        std::uint64_t name[3] = {0, 0, 0};      // a short ASCII name's indexKey words

        // Whether the in-line name is `key`'s (whose length is this slot's).
        bool holds(const indexKey& key) const noexcept {
            return ((name[0] ^ key.words[0]) | (name[1] ^ key.words[1]) | (name[2] ^ key.words[2])) == 0;
        }
    };
    static_assert(sizeof(slot) == 48);
    struct array {
        explicit array(std::size_t capacity) : mask(capacity - 1), slots(new slot[capacity]) {}
        std::size_t mask;
        std::unique_ptr<slot[]> slots;
    };

    classIndex() : current(newArray(64)) {}

    // The array lookups probe now. A replacement writes only the current
    // array, so a reader checks after publishing its hazard that the array
    // it read is still the current one.
    const array* now() const noexcept { return current.load(); }

    // Publishes the class held by `where` (a place in `a`) in `held`, and
    // stores it in `out` once the index still holds it afterwards; false when
    // `a` is no longer current and the lookup must start again. A lookup of a
    // read scope publishes nothing (`held` is null): the scope keeps every
    // class it may see, so the class is read once and only the array checked.
    bool protect(const array* a, const std::atomic<classInfo*>& where, std::atomic<const void*>* held,
                 classInfo*& out) const {
        classInfo* p = where.load(held ? std::memory_order_seq_cst : std::memory_order_acquire);
        if (!held) {
            out = p;
            return now() == a;
        }
        for (;;) {
            publish(*held, p);
            if (now() != a) return false;
            classInfo* again = where.load();
            if (again == p) {
                out = p;
                return true;
            }
            p = again;
        }
    }

    // What pin() found.
    enum class pinned {
        found,      // the class is in `out` and published
        missing,    // no class has the name
        replacing,  // the class is being replaced: the lookup must let the writer go on and retry
        moved,      // the index grew meanwhile: the lookup must retry
    };

    // Finds the class whose name has the index key `key` and publishes it
    // in `held` (null in a read scope). The slots are probed by the key's
    // hash; a short ASCII name is checked in its slot, before anything of
    // its class is read; any other with `isNamed(cls)` on the class once it
    // is published, in the record the caller reads next anyway, rather than
    // in the table of interned names. `empty`: the name is the empty text.
    template <class IsNamed>
    pinned pin(const indexKey& key, bool empty, std::atomic<const void*>* held, classInfo*& out,
               IsNamed&& isNamed) const {
        const array* a = now();
        if (empty) return settle(protect(a, emptyNamed, held, out), out);
        const auto low = static_cast<std::uint32_t>(key.hash);
        const bool inlined = key.length != indexKey::wide;
        for (std::size_t i = key.hash & a->mask;; i = (i + 1) & a->mask) {
            const slot& s = a->slots[i];
            if (s.key.load(std::memory_order_acquire) == 0) return pinned::missing;
            if (s.hash != low || s.nameLength != key.length) continue;
            if (inlined && !s.holds(key)) continue;
            const pinned how = settle(protect(a, s.cls, held, out), out);
            if (how != pinned::found || inlined || isNamed(*out)) return how;
            out = nullptr;
        }
    }

    // A class marked as being replaced is held with its lowest bit set (a
    // class is aligned to more than two bytes), so that a lookup that meets
    // it reads no more of it.
    static bool marked(const classInfo* p) noexcept { return (reinterpret_cast<std::uintptr_t>(p) & 1) != 0; }

    // pin()'s answer once protect() has answered `stable` with `out`.
    static pinned settle(bool stable, classInfo*& out) noexcept {
        if (!stable) return pinned::moved;
        if (!out) return pinned::missing;
        if (marked(out)) return pinned::replacing;
        return pinned::found;
    }

    // Marks the class registered under `key` as being replaced, or clears the
    // mark. Writer only.
    void mark(ky::scString key, bool replacing) {
        std::atomic<classInfo*>* where = &emptyNamed;
        if (!key.empty()) {
            slot* s = probe(*current.load(std::memory_order_relaxed), key);
            if (s->key.load(std::memory_order_relaxed) != key.id()) return;
            where = &s->cls;
        }
        auto bits = reinterpret_cast<std::uintptr_t>(where->load(std::memory_order_relaxed)) & ~std::uintptr_t{1};
        where->store(reinterpret_cast<classInfo*>(bits | (replacing ? 1 : 0)));
    }

    // Calls `visit` with the place of every registered class, in slot order.
    // Safe from any thread; a class registered meanwhile may or may not be
    // visited.
    // `visit` answers false to end the walk; forEach answers whether it ran
    // to the end.
    template <class Visit>
    bool forEach(const array* a, Visit&& visit) const {
        if (emptyNamed.load(std::memory_order_acquire) && !visit(emptyNamed)) return false;
        for (std::size_t i = 0; i <= a->mask; ++i) {
            if (a->slots[i].key.load(std::memory_order_acquire) != 0 && !visit(a->slots[i].cls)) return false;
        }
        return true;
    }

    // Registers `cls` under `key`, or puts it in the place of the class
    // registered there. Writer only.
    void set(ky::scString key, classInfo* cls) {
        if (key.empty()) {
            emptyNamed.store(cls);
            return;
        }
        array* a = current.load(std::memory_order_relaxed);
        if (slot* s = probe(*a, key); s->key.load(std::memory_order_relaxed) == key.id()) {
            s->cls.store(cls);  // sequentially consistent: see the hazard slots above
            return;
        }
        if (2 * (count + 1) > a->mask + 1) a = grow(*a);
        slot* s = probe(*a, key);
        const indexKey placed = keyOf(key.string());
        s->cls.store(cls, std::memory_order_relaxed);
        s->hash = static_cast<std::uint32_t>(placed.hash);
        s->nameLength = placed.length;
        std::memcpy(s->name, placed.words, sizeof s->name);
        s->key.store(key.id(), std::memory_order_release);
        ++count;
    }

private:
    // The slot of `key`, or the free slot where it would go.
    static slot* probe(const array& a, ky::scString key) noexcept {
        for (std::size_t i = keyOf(key.string()).hash & a.mask;; i = (i + 1) & a.mask) {
            const std::uintptr_t k = a.slots[i].key.load(std::memory_order_relaxed);
            if (k == key.id() || k == 0) return &a.slots[i];
        }
    }

    array* newArray(std::size_t capacity) {
        arrays.push_back(std::make_unique<array>(capacity));
        return arrays.back().get();
    }

    // A twice as large array holding every entry, published at once.
    array* grow(const array& old) {
        array* bigger = newArray(2 * (old.mask + 1));
        for (std::size_t i = 0; i <= old.mask; ++i) {
            const std::uintptr_t k = old.slots[i].key.load(std::memory_order_relaxed);
            if (k == 0) continue;
            std::size_t j = old.slots[i].hash & bigger->mask;
            while (bigger->slots[j].key.load(std::memory_order_relaxed) != 0) j = (j + 1) & bigger->mask;
            slot& moved = bigger->slots[j];
            moved.cls.store(old.slots[i].cls.load(std::memory_order_relaxed), std::memory_order_relaxed);
            moved.hash = old.slots[i].hash;
            moved.nameLength = old.slots[i].nameLength;
            std::memcpy(moved.name, old.slots[i].name, sizeof moved.name);
            moved.key.store(k, std::memory_order_relaxed);
        }
        current.store(bigger, std::memory_order_release);
        return bigger;
    }

    std::vector<std::unique_ptr<array>> arrays;  // every array made, the current one last; writer only
    std::atomic<array*> current;                  // what readers probe
    mutable std::atomic<classInfo*> emptyNamed{nullptr};  // the class named by the empty text
    std::size_t count = 0;                        // keys in the current array; writer only
};

}  // namespace ky::metamodel::detail
