// The iterators over the base-class and derived-class maps of a class.
#include <kymdliterators.h>

#include <kymdlclassinfo.h>

namespace ky::metamodel {

// ---- classInfosIterator ----

classInfosIterator classInfosIterator::operator=(const classInfosIterator& other) {
    mPos = other.mPos;
    return *this;
}

bool classInfosIterator::operator==(const classInfosIterator& other) const { return mPos == other.mPos; }

ky::refPtr<classInfo> classInfosIterator::operator*() const { return mPos->second; }

ky::refPtr<classInfo> classInfosIterator::operator->() const { return mPos->second; }

classInfosIterator classInfosIterator::operator++() {
    ++mPos;
    return *this;
}

classInfosIterator classInfosIterator::operator++(int) {
    classInfosIterator before(*this);
    ++mPos;
    return before;
}

classInfosIterator classInfosIterator::operator--() {
    --mPos;
    return *this;
}

classInfosIterator classInfosIterator::operator--(int) {
    classInfosIterator before(*this);
    --mPos;
    return before;
}

// ---- const_classInfosIterator ----

const_classInfosIterator const_classInfosIterator::operator=(const const_classInfosIterator& other) {
    mPos = other.mPos;
    return *this;
}

bool const_classInfosIterator::operator==(const const_classInfosIterator& other) const {
    return mPos == other.mPos;
}

ky::const_refPtr<classInfo> const_classInfosIterator::operator*() const { return mPos->second; }

ky::const_refPtr<classInfo> const_classInfosIterator::operator->() const { return mPos->second; }

const_classInfosIterator const_classInfosIterator::operator++() {
    ++mPos;
    return *this;
}

const_classInfosIterator const_classInfosIterator::operator++(int) {
    const_classInfosIterator before(*this);
    ++mPos;
    return before;
}

const_classInfosIterator const_classInfosIterator::operator--() {
    --mPos;
    return *this;
}

const_classInfosIterator const_classInfosIterator::operator--(int) {
    const_classInfosIterator before(*this);
    --mPos;
    return before;
}

}  // namespace ky::metamodel
