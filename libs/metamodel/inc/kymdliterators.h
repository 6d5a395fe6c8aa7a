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

class KY_METAMODEL_API classInfosIterator {
public:
    /// No position; a copy of another iterator's position; a map position.
    classInfosIterator() = default;
    classInfosIterator(const classInfosIterator& other) = default;
    explicit classInfosIterator(classInfoMap::iterator position) : mPos(position) {}

    /// Takes the other's position; answers a copy of the result.
    classInfosIterator operator=(const classInfosIterator& other);
    /// Whether both stand at the same position.
    bool operator==(const classInfosIterator& other) const;
    /// A counted reference to the class at the position.
    ky::refPtr<classInfo> operator*() const;
    ky::refPtr<classInfo> operator->() const;
    /// Move to the next / previous entry in map order. The prefix forms answer
    /// the moved iterator, the postfix forms the iterator before the move.
    classInfosIterator operator++();
    classInfosIterator operator++(int);
    classInfosIterator operator--();
    classInfosIterator operator--(int);

private:
    friend class const_classInfosIterator;
    classInfoMap::iterator mPos{};
};

class KY_METAMODEL_API const_classInfosIterator {
public:
    /// No position; a copy of another iterator's position; a map position; the
    /// position of a writable iterator.
    const_classInfosIterator() = default;
    const_classInfosIterator(const const_classInfosIterator& other) = default;
    explicit const_classInfosIterator(classInfoMap::const_iterator position) : mPos(position) {}
    const_classInfosIterator(const classInfosIterator& other) : mPos(other.mPos) {}

    /// Takes the other's position; answers a copy of the result.
    const_classInfosIterator operator=(const const_classInfosIterator& other);
    /// Whether both stand at the same position.
    bool operator==(const const_classInfosIterator& other) const;
    /// A counted reference to the class at the position.
    ky::const_refPtr<classInfo> operator*() const;
    ky::const_refPtr<classInfo> operator->() const;
    /// Move to the next / previous entry in map order.
    const_classInfosIterator operator++();
    const_classInfosIterator operator++(int);
    const_classInfosIterator operator--();
    const_classInfosIterator operator--(int);

private:
    classInfoMap::const_iterator mPos{};
};

}  // namespace ky::metamodel
