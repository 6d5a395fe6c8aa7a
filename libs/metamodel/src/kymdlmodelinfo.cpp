// modelInfo: the registry of classes, its name rule and its lookups. The
// index that lets lookups run without the lock is kymdlclassindex.h.
#include <kymdlmodelinfo.h>

#include <algorithm>
#include <cwchar>
#include <string_view>

#include <kymdlclassinfo.h>
#include <kymdlfieldinfo.h>

#include "kymdlclassdata.h"
#include "kymdlclassindex.h"
#include "kymdlinfobase.h"

namespace ky::metamodel {

namespace {

// The position of the first dot of [text, text + length), or length.
std::size_t firstDot(const wchar_t* text, std::size_t length) noexcept {
    const wchar_t* dot = std::wmemchr(text, L'.', length);
    return dot ? static_cast<std::size_t>(dot - text) : length;
}

}  // namespace

modelInfo::modelInfo(bool caseSensitiveNames)
    : mIndex(std::make_unique<detail::classIndex>()), mCaseSensitive(caseSensitiveNames) {
    detail::writeLog(detail::sites::modelCreated);
    mProperties.setValue(detail::key().caseSensitiveNames, caseSensitiveNames, false);
}

modelInfo::~modelInfo() {
    detail::writeLog(detail::sites::modelReleased);
    ky::mutexLock lock(mLock);
    for (const auto& entry : mClasses) {
        if (ky::refPtr<ky::metamodel::classInfo> cls = entry.second) cls->releaseInfo();
    }
    mOrder.clear();
    // Swapped out first: a class ending here must not find the map half cleared.
    classInfoMap classes;
    classes.swap(mClasses);
    classes.clear();
    classInfoList retired;
    retired.swap(mRetired);
}

ky::refPtr<modelInfo> modelInfo::createModelInfo(bool caseSensitiveNames) {
    return ky::refPtr<modelInfo>(new modelInfo(caseSensitiveNames));
}

bool modelInfo::caseSensitiveNames() const { return mCaseSensitive; }

ky::refPtr<ky::metamodel::classInfo> modelInfo::findClass(const wchar_t* name, std::size_t length,
                                                          bool searchAliases) const {
    ky::scString key;
    // A key never interned is no class's name; in a model that folds names
    // it may still match an alias written with capitals.
    const bool known = detail::findKey(name, length, mCaseSensitive, key);
    detail::hazardSlot& hazards = detail::myHazards();
    ky::refPtr<ky::metamodel::classInfo> found;
    const detail::classIndex::array* a = mIndex->now();
    if (const auto* where = known ? mIndex->find(a, key) : nullptr) {
        ky::metamodel::classInfo* cls = nullptr;
        while (!mIndex->protect(a, *where, hazards.held[0], cls)) {
            a = mIndex->now();
            where = mIndex->find(a, key);
        }
        found = ky::refPtr<ky::metamodel::classInfo>(cls);
        hazards.held[0].store(nullptr, std::memory_order_release);
        if (found) return found;
    }
    if (!searchAliases || (!known && mCaseSensitive)) return found;
    const std::wstring_view text = detail::foldedKey(name, length, mCaseSensitive);
    // The first match in map order is the one whose name orders first; it
    // stays published in the second slot while the walk goes on.
    ky::metamodel::classInfo* first = nullptr;
    auto visit = [&](const std::atomic<ky::metamodel::classInfo*>& where) {
        ky::metamodel::classInfo* cls = nullptr;
        if (!mIndex->protect(a, where, hazards.held[0], cls)) return false;
        if (cls && (!first || cls->scName() < first->scName()) && cls->matchesAlias(text)) {
            first = cls;
            hazards.held[1].store(first);
        }
        return true;
    };
    while (!mIndex->forEach(a, visit)) {
        a = mIndex->now();
        first = nullptr;
        hazards.held[1].store(nullptr);
    }
    found = ky::refPtr<ky::metamodel::classInfo>(first);
    hazards.held[0].store(nullptr, std::memory_order_release);
    hazards.held[1].store(nullptr, std::memory_order_release);
    return found;
}

ky::refPtr<ky::metamodel::classInfo> modelInfo::classInfo(const ky::string& name, bool searchAliases) {
    return findClass(name.data(), name.size(), searchAliases);
}

ky::const_refPtr<ky::metamodel::classInfo> modelInfo::classInfo(const ky::string& name,
                                                                bool searchAliases) const {
    return ky::const_refPtr<ky::metamodel::classInfo>(findClass(name.data(), name.size(), searchAliases));
}

ky::refPtr<ky::metamodel::classInfo> modelInfo::createClassInfo(const ky::string& name, bool replace) {
    // One critical section: of several threads creating one name, exactly
    // one registers it.
    ky::mutexLock lock(mLock);
    ky::refPtr<ky::metamodel::classInfo> existing = classInfo(name, false);
    if (existing && !replace) throw false;
    // Room first, so that a failing allocation leaves the model as it was.
    mRetired.reserve(mRetired.size() + 1);
    mOrder.reserve(mOrder.size() + 1);
    if (existing) {
        existing->releaseInfo();
        mClasses.erase(existing->scName());
    }
    ky::refPtr<ky::metamodel::classInfo> created(new ky::metamodel::classInfo(name, mCaseSensitive));
    const ky::scString key = created->scName();
    if (existing) {
        *std::find(mOrder.begin(), mOrder.end(), existing) = created;
        mRetired.push_back(existing);
    } else {
        mOrder.push_back(created);
    }
    mClasses.emplace(key, created);
    mIndex->set(key, created.get());
    // A replaced class goes as soon as no lookup is about to take it.
    std::erase_if(mRetired, [](const auto& cls) { return !detail::isHazard(cls.get()); });
    ky::refPtr<ky::metamodel::classInfo> registered = classInfo(name, false);
    if (!registered) throw false;
    return registered;
}

std::size_t modelInfo::countClasses() const { return mOrder.size(); }

classInfoList::const_iterator modelInfo::classes_begin() const { return mOrder.cbegin(); }

classInfoList::const_iterator modelInfo::classes_end() const { return mOrder.cend(); }

ky::refPtr<ky::metamodel::fieldInfo> modelInfo::fieldInfo(const ky::string& className,
                                                          const ky::string& fieldName, bool searchFurther) {
    ky::refPtr<ky::metamodel::classInfo> cls = classInfo(className, searchFurther);
    if (!cls) return {};
    return cls->fieldInfo(fieldName, searchFurther, false);
}

ky::const_refPtr<ky::metamodel::fieldInfo> modelInfo::fieldInfo(const ky::string& className,
                                                                const ky::string& fieldName,
                                                                bool searchFurther) const {
    ky::const_refPtr<ky::metamodel::classInfo> cls = classInfo(className, searchFurther);
    if (!cls) return {};
    return cls->fieldInfo(fieldName, searchFurther, false);
}

ky::refPtr<ky::metamodel::fieldInfo> modelInfo::findQualified(const ky::string& qualifiedName,
                                                              bool searchFurther) const {
    const wchar_t* text = qualifiedName.data();
    const std::size_t dot = firstDot(text, qualifiedName.size());
    if (dot == qualifiedName.size()) return {};
    ky::refPtr<ky::metamodel::classInfo> cls = findClass(text, dot, searchFurther);
    if (!cls) return {};
    const std::size_t rest = qualifiedName.size() - dot - 1;
    return ky::refPtr<ky::metamodel::fieldInfo>(cls->findField(text + dot + 1, rest, searchFurther, false));
}

ky::refPtr<ky::metamodel::fieldInfo> modelInfo::fieldInfo(const ky::string& qualifiedName, bool searchFurther) {
    return findQualified(qualifiedName, searchFurther);
}

ky::const_refPtr<ky::metamodel::fieldInfo> modelInfo::fieldInfo(const ky::string& qualifiedName,
                                                                bool searchFurther) const {
    return findQualified(qualifiedName, searchFurther);
}

}  // namespace ky::metamodel
