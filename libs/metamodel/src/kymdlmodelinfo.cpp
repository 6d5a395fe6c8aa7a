// modelInfo: the registry of classes, its name rule and its lookups.
#include <kymdlmodelinfo.h>

#include <cwchar>

#include <kymdlclassinfo.h>
#include <kymdlfieldinfo.h>

#include "kymdlclassdata.h"
#include "kymdlinfobase.h"

namespace ky::metamodel {

namespace {

// The position of the first dot of [text, text + length), or length.
std::size_t firstDot(const wchar_t* text, std::size_t length) noexcept {
    const wchar_t* dot = std::wmemchr(text, L'.', length);
    return dot ? static_cast<std::size_t>(dot - text) : length;
}

}  // namespace

modelInfo::modelInfo(bool caseSensitiveNames) : mCaseSensitive(caseSensitiveNames) {
    detail::writeLog(kylog::level::trace, L"ky::metamodel::modelInfo::modelInfo", detail::modelInfoFile, 20,
                     L"modelInfo created");
    mProperties.setValue(detail::key().caseSensitiveNames, caseSensitiveNames, false);
}

modelInfo::~modelInfo() {
    detail::writeLog(kylog::level::trace, L"ky::metamodel::modelInfo::~modelInfo", detail::modelInfoFile, 29,
                     L"modelInfo released");
    ky::mutexLock lock(mLock);
    for (const auto& entry : mClasses) {
        if (ky::refPtr<ky::metamodel::classInfo> cls = entry.second) cls->releaseInfo();
    }
    mIndex.clear();
    // Swapped out first: a class ending here must not find the map half cleared.
    classInfoMap classes;
    classes.swap(mClasses);
    classes.clear();
}

ky::refPtr<modelInfo> modelInfo::createModelInfo(bool caseSensitiveNames) {
    return ky::refPtr<modelInfo>(new modelInfo(caseSensitiveNames));
}

bool modelInfo::caseSensitiveNames() const { return mCaseSensitive; }

ky::metamodel::classInfo* modelInfo::findClass(const wchar_t* name, std::size_t length,
                                               bool searchAliases) const {
    ky::scString key;
    // A key never interned is no class's name; in a model that folds names
    // it may still match an alias written with capitals.
    const bool known = detail::findKey(name, length, mCaseSensitive, key);
    if (known) {
        const auto found = mIndex.find(key);
        if (found != mIndex.end()) return found->second;
    }
    if (!searchAliases || (!known && mCaseSensitive)) return nullptr;
    if (!known) key = detail::internKey(name, length, false);
    for (const auto& entry : mClasses) {
        if (entry.second->matchesAlias(key)) return entry.second.get();
    }
    return nullptr;
}

ky::refPtr<ky::metamodel::classInfo> modelInfo::classInfo(const ky::string& name, bool searchAliases) {
    ky::mutexLock lock(mLock);
    return ky::refPtr<ky::metamodel::classInfo>(findClass(name.data(), name.size(), searchAliases));
}

ky::const_refPtr<ky::metamodel::classInfo> modelInfo::classInfo(const ky::string& name,
                                                                bool searchAliases) const {
    ky::mutexLock lock(mLock);
    return ky::const_refPtr<ky::metamodel::classInfo>(findClass(name.data(), name.size(), searchAliases));
}

ky::refPtr<ky::metamodel::classInfo> modelInfo::createClassInfo(const ky::string& name, bool replace) {
    if (ky::refPtr<ky::metamodel::classInfo> existing = classInfo(name, false)) {
        if (!replace) throw false;
        existing->releaseInfo();
        // The erase changes the map that lookups on other threads walk.
        ky::mutexLock lock(mLock);
        unregisterClass(existing->scName());
    }
    ky::mutexLock lock(mLock);
    registerClass(ky::refPtr<ky::metamodel::classInfo>(new ky::metamodel::classInfo(name, mCaseSensitive)));
    ky::refPtr<ky::metamodel::classInfo> registered = classInfo(name, false);
    if (!registered) throw false;
    return registered;
}

void modelInfo::registerClass(const ky::refPtr<ky::metamodel::classInfo>& cls) {
    const auto [position, added] = mClasses.emplace(cls->scName(), cls);
    if (!added) return;
    // Map and index hold the same classes: an index that cannot take the
    // class takes it back out of the map.
    try {
        mIndex.emplace(cls->scName(), cls.get());
    } catch (...) {
        mClasses.erase(position);
        throw;
    }
}

void modelInfo::unregisterClass(const ky::scString& name) {
    mIndex.erase(name);
    mClasses.erase(name);
}

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
    ky::refPtr<ky::metamodel::classInfo> cls;
    {
        ky::mutexLock lock(mLock);
        cls = findClass(text, dot, searchFurther);
    }
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
