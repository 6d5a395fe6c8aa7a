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

/// A position in a class's base-class or derived-class map, answering counted
/// references to the classes there. It owns nothing and stays valid while its
/// entry exists; it neither checks nor locks, so one thread uses it at a time.
class KY_METAMODEL_API classInfosIterator {
public:
    /// No position (must not be dereferenced).
    classInfosIterator() = default;
    /// A copy of another iterator's position.
    classInfosIterator(const classInfosIterator& other) = default;
    /// The iterator at a map position.
    explicit classInfosIterator(classInfoMap::iterator position) : mPos(position) {}

    /// Takes the other's position; answers a copy of the result.
    classInfosIterator operator=(const classInfosIterator& other);
    /// Whether both stand at the same position.
    bool operator==(const classInfosIterator& other) const;
    /// A counted reference to the class at the position.
    ky::refPtr<classInfo> operator*() const;
    /// A counted reference to the class at the position.
    ky::refPtr<classInfo> operator->() const;
    /// Moves to the next entry in map order; answers the moved iterator.
    classInfosIterator operator++();
    /// Moves to the next entry; answers the iterator before the move.
    classInfosIterator operator++(int);
    /// Moves to the previous entry; answers the moved iterator.
    classInfosIterator operator--();
    /// Moves to the previous entry; answers the iterator before the move.
    classInfosIterator operator--(int);

private:
    friend class const_classInfosIterator;
    classInfoMap::iterator mPos{};
};

/// A read-only position in a class's base-class or derived-class map,
/// answering counted read-only references. It owns nothing and stays valid
/// while its entry exists; it neither checks nor locks, so one thread uses it at a time.
class KY_METAMODEL_API const_classInfosIterator {
public:
    /// No position (must not be dereferenced).
    const_classInfosIterator() = default;
    /// A copy of another iterator's position.
    const_classInfosIterator(const const_classInfosIterator& other) = default;
    /// The iterator at a map position.
    explicit const_classInfosIterator(classInfoMap::const_iterator position) : mPos(position) {}
    /// The position of a writable iterator.
    const_classInfosIterator(const classInfosIterator& other) : mPos(other.mPos) {}

    /// Takes the other's position; answers a copy of the result.
    const_classInfosIterator operator=(const const_classInfosIterator& other);
    /// Whether both stand at the same position.
    bool operator==(const const_classInfosIterator& other) const;
    /// A counted reference to the class at the position.
    ky::const_refPtr<classInfo> operator*() const;
    /// A counted read-only reference to the class at the position.
    ky::const_refPtr<classInfo> operator->() const;
    /// Moves to the next entry in map order; answers the moved iterator.
    const_classInfosIterator operator++();
    /// Moves to the next entry; answers the iterator before the move.
    const_classInfosIterator operator++(int);
    /// Moves to the previous entry; answers the moved iterator.
    const_classInfosIterator operator--();
    /// Moves to the previous entry; answers the iterator before the move.
    const_classInfosIterator operator--(int);

private:
    classInfoMap::const_iterator mPos{};
};

}  // namespace ky::metamodel
