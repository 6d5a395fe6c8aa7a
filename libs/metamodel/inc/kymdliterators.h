// Iterators over the base-class and derived-class maps of a class.
//
// Each holds one position in a map; the default position is none. An
// iterator stays valid while the entry it points at exists: releaseInfo on
// the class, or its destruction, invalidates it. Iterators neither check nor
// lock: a default or end position must not be dereferenced.
#pragma once

#include <kyrefptr.h>

#include "kymdlexport.h"
#include "kymdlfwd.h"

namespace ky::metamodel {

namespace detail {

/// The position and the moves both class-map iterators share: `Self` is the
/// iterator built on it, `Position` the map iterator it holds and `Reference`
/// the counted reference it answers. It owns nothing and neither checks nor
/// locks, so one thread uses it at a time.
template <class Self, class Position, class Reference>
class classMapIterator {
public:
    /// Whether both stand at the same position.
    friend bool operator==(const Self& a, const Self& b) { return a.mPos == b.mPos; }
    /// A counted reference to the class at the position.
    Reference operator*() const { return mPos->second; }
    /// A counted reference to the class at the position.
    Reference operator->() const { return mPos->second; }
    /// Moves to the next entry in map order; answers the moved iterator.
    Self operator++() {
        ++mPos;
        return self();
    }
    /// Moves to the next entry; answers the iterator before the move.
    Self operator++(int) {
        Self before(self());
        ++mPos;
        return before;
    }
    /// Moves to the previous entry; answers the moved iterator.
    Self operator--() {
        --mPos;
        return self();
    }
    /// Moves to the previous entry; answers the iterator before the move.
    Self operator--(int) {
        Self before(self());
        --mPos;
        return before;
    }

protected:
    /// No position.
    classMapIterator() = default;
    /// The iterator at a map position.
    explicit classMapIterator(Position position) : mPos(position) {}
    /// This iterator as the type built on it.
    const Self& self() const { return static_cast<const Self&>(*this); }

    Position mPos{};  ///< the map entry, or none for a default iterator
};

}  // namespace detail

/// A position in a class's base-class or derived-class map, answering counted
/// references to the classes there. It owns nothing and stays valid while its
/// entry exists; it neither checks nor locks, so one thread uses it at a time.
class KY_METAMODEL_API classInfosIterator
    : public detail::classMapIterator<classInfosIterator, classInfoMap::iterator, ky::refPtr<classInfo>> {
public:
    /// No position (must not be dereferenced).
    classInfosIterator() = default;
    /// A copy of another iterator's position.
    classInfosIterator(const classInfosIterator& other) = default;
    /// The iterator at a map position.
    explicit classInfosIterator(classInfoMap::iterator position) : classMapIterator(position) {}

    /// Takes the other's position; answers a copy of the result.
    classInfosIterator operator=(const classInfosIterator& other) {
        mPos = other.mPos;
        return *this;
    }

private:
    friend class const_classInfosIterator;
};

/// A read-only position in a class's base-class or derived-class map,
/// answering counted read-only references. It owns nothing and stays valid
/// while its entry exists; it neither checks nor locks, so one thread uses it at a time.
class KY_METAMODEL_API const_classInfosIterator
    : public detail::classMapIterator<const_classInfosIterator, classInfoMap::const_iterator,
                                      ky::const_refPtr<classInfo>> {
public:
    /// No position (must not be dereferenced).
    const_classInfosIterator() = default;
    /// A copy of another iterator's position.
    const_classInfosIterator(const const_classInfosIterator& other) = default;
    /// The iterator at a map position.
    explicit const_classInfosIterator(classInfoMap::const_iterator position) : classMapIterator(position) {}
    /// The position of a writable iterator.
    const_classInfosIterator(const classInfosIterator& other) : classMapIterator(other.mPos) {}

    /// Takes the other's position; answers a copy of the result.
    const_classInfosIterator operator=(const const_classInfosIterator& other) {
        mPos = other.mPos;
        return *this;
    }
};

}  // namespace ky::metamodel
