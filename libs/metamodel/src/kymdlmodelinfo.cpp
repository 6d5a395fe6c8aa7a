// modelInfo: the registry of classes, its name rule and its lookups. The
// index that lets lookups run without the lock is kymdlclassindex.h.
#include <kymdlmodelinfo.h>

#include <algorithm>
#include <cwchar>
#include <string_view>
#include <thread>

#if defined(__linux__)
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <kymdlclassinfo.h>
#include <kymdlfieldinfo.h>

#include "kymdlclassdata.h"
#include "kymdlclassindex.h"
#include "kymdlinfobase.h"

namespace ky::metamodel {

namespace {

template <class List>
void roomForOneMore(List& list) {
    if (list.size() == list.capacity()) list.reserve(std::max<std::size_t>(8, 2 * list.capacity()));
}

// The position of the first dot of [text, text + length), or length.
std::size_t firstDot(const wchar_t* text, std::size_t length) noexcept {
    const wchar_t* dot = std::wmemchr(text, L'.', length);
    return dot ? static_cast<std::size_t>(dot - text) : length;
}

}  // namespace

#if defined(__SANITIZE_THREAD__)
#define KY_MDL_LIGHT_READERS 0
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KY_MDL_LIGHT_READERS 0
#endif
#endif
#if !defined(KY_MDL_LIGHT_READERS) && defined(__linux__)
#define KY_MDL_LIGHT_READERS 1
#endif

namespace detail {

namespace {

bool registerHeavyBarrier() {
#if KY_MDL_LIGHT_READERS
    if (syscall(__NR_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0) {
        gLightReaders.store(true);
        return true;
    }
#endif
    return false;
}

}  // namespace

hazardSlot& claimForThisThread(hazardSlot*& mine) {
    struct owner {
        hazardSlot*& mine;
        hazardSlot* slot = claimHazardSlot();
        explicit owner(hazardSlot*& where) : mine(where) {}
        ~owner() {
            mine = nullptr;
            slot->held[0].store(nullptr);
            slot->held[1].store(nullptr);
            // A scope the thread never ended (one left on the heap) ends
            // with it, so that no writer waits for it for good.
            if (slot->depth != 0) {
                slot->depth = 1;
                detail::closeScope(*slot);
            }
            slot->taken.store(false, std::memory_order_release);
        }
    };
    thread_local owner claimed(mine);
    mine = claimed.slot;
    return *claimed.slot;
}

bool heavyBarrierReady() {
    static const bool ready = registerHeavyBarrier();
    return ready;
}

void heavyBarrier() {
#if KY_MDL_LIGHT_READERS
    // Registered, the command fails only for a command the kernel lacks,
    // and registration would have failed first.
    if (heavyBarrierReady()) {
        syscall(__NR_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0);
        return;
    }
#endif
    std::atomic_thread_fence(std::memory_order_seq_cst);
}

}  // namespace detail

struct modelInfo::deferredClass {
    ky::refPtr<ky::metamodel::classInfo> cls;
    std::vector<detail::scopeMark> readers;  // the scopes that may have seen it
};

modelInfo::modelInfo(bool caseSensitiveNames)
    : mIndex(std::make_unique<detail::classIndex>()), mCaseSensitive(caseSensitiveNames) {
    // Before any thread can look anything up in this model.
    detail::heavyBarrierReady();
    detail::writeLog(detail::sites::modelCreated);
    mProperties.setValue(detail::key().caseSensitiveNames, caseSensitiveNames, false);
}

modelInfo::~modelInfo() {
    // Set first: a scope opened from now on is refused, and one opened before
    // is seen by the wait below (the heavy barrier orders both sides).
    mDying.store(true);
    detail::writeLog(detail::sites::modelReleased);
    detail::hazardSlot& self = detail::myHazards();
    if (detail::inScopeOf(self, this)) {
        // The host's own scope would outlive what it points to; reported, as
        // a destructor cannot refuse.
        try {
            ky::assertFailed(detail::sites::modelEndsInOwnScope);
        } catch (bool) {
        }
    }
    detail::heavyBarrier();
    detail::waitForScopes(this, self);
    ky::mutexLock lock(mLock);
    for (deferredClass& kept : mDeferred) {
        kept.cls->releaseInfo();
        detail::classAccess::of(*kept.cls).retiring.store(false);
    }
    for (const auto& entry : mClasses) {
        if (ky::refPtr<ky::metamodel::classInfo> cls(entry.second); cls) cls->releaseInfo();
    }
    // The references go in map order. Swapped out first: a class ending here
    // must not find the lists half cleared.
    mClasses.clear();
    classInfoList order;
    order.swap(mOrder);
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a->scName() < b->scName(); });
    for (auto& cls : order) cls.reset();
    std::vector<deferredClass> deferred;
    deferred.swap(mDeferred);
    classInfoList retired;
    retired.swap(mRetired);
}

ky::refPtr<modelInfo> modelInfo::createModelInfo(bool caseSensitiveNames) {
    return ky::refPtr<modelInfo>(new modelInfo(caseSensitiveNames));
}

bool modelInfo::caseSensitiveNames() const { return mCaseSensitive; }

namespace {

// The class registered under the name of index key `key`, published in
// `hazards` (null in a read scope); null when none. `text` is the folded
// name, which a class is asked for when the key does not hold its bytes.
[[gnu::always_inline]] inline ky::metamodel::classInfo* pinByName(const detail::classIndex& index,
                                                                  const detail::indexKey& key,
                                                                  std::wstring_view text,
                                                                  detail::hazardSlot* hazards) {
    const auto isNamed = [text](const ky::metamodel::classInfo& cls) {
        return detail::classAccess::of(cls).hasName(text);
    };
    std::atomic<const void*>* held = hazards ? &hazards->held[0] : nullptr;
    for (;;) {
        ky::metamodel::classInfo* cls = nullptr;
        const auto how = index.pin(key, text.empty(), held, cls, isNamed);
        if (how == detail::classIndex::pinned::found) return cls;
        if (how == detail::classIndex::pinned::missing) return nullptr;
        // A class being replaced is waited out (the writer waits for the
        // lookups that hold it): the lookup answers its successor, never a
        // class half released.
        if (how == detail::classIndex::pinned::replacing) {
            if (hazards) {
                detail::yieldToWriter(*hazards);
            } else {
                std::this_thread::yield();
            }
        }
    }
}

// What the quick lookup of a name found: `settled` is false when the name
// is not short ASCII or the index changed under the probe, and the lookup
// must go the general way.
struct quickPin {
    bool settled;
    ky::metamodel::classInfo* cls;

    // Whether this is the lookup's answer, also when aliases are searched.
    bool answers(bool searchAliases) const noexcept { return cls || (settled && !searchAliases); }
};

// The lookup by a short ASCII name, folded, narrowed and hashed in one pass
// in registers and checked in the index's slot; one probe, never waiting,
// so that nothing of it stays for a call.
[[gnu::always_inline]] inline quickPin pinQuickly(const detail::classIndex& index, const wchar_t* name,
                                                  std::size_t length, bool fold, detail::hazardSlot* hazards) {
    detail::indexKey key;
    if (!detail::shortAsciiKey(name, length, fold, key)) return {false, nullptr};
    ky::metamodel::classInfo* cls = nullptr;
    const auto how = index.pin(key, false, hazards ? &hazards->held[0] : nullptr, cls,
                               [](const ky::metamodel::classInfo&) { return true; });
    if (how == detail::classIndex::pinned::found) return {true, cls};
    return {how == detail::classIndex::pinned::missing, nullptr};
}

}  // namespace

// Kept out of line: the lookup by name is the hot path.
[[gnu::noinline]] ky::metamodel::classInfo* modelInfo::pinAlias(std::wstring_view text,
                                                                detail::hazardSlot* hazards) const {
    const detail::classIndex& index = *mIndex;
    // The first match in map order is the one whose name orders first; it
    // stays published in the second slot while the walk goes on. A class
    // being replaced has no aliases any more.
    std::atomic<const void*>* held = hazards ? &hazards->held[0] : nullptr;
    const detail::classIndex::array* a = index.now();
    ky::metamodel::classInfo* first = nullptr;
    auto visit = [&](const std::atomic<ky::metamodel::classInfo*>& where) {
        ky::metamodel::classInfo* cls = nullptr;
        if (!index.protect(a, where, held, cls)) return false;
        if (cls && !detail::classIndex::marked(cls) && (!first || cls->scName() < first->scName()) &&
            cls->matchesAlias(text)) {
            first = cls;
            if (hazards) detail::publish(hazards->held[1], first);
        }
        return true;
    };
    while (!index.forEach(a, visit)) {
        a = index.now();
        first = nullptr;
        if (hazards) hazards->held[1].store(nullptr);
    }
    return first;
}

ky::metamodel::classInfo* modelInfo::pinClass(const wchar_t* name, std::size_t length, bool searchAliases,
                                              detail::hazardSlot* hazards, eNameMatch* match) const {
    const quickPin quick = pinQuickly(*mIndex, name, length, !mCaseSensitive, hazards);
    if (!quick.answers(searchAliases))
        return pinClassFurther(name, length, quick.settled, searchAliases, hazards, match);
    if (match) *match = quick.cls ? eOwnName : eNoMatch;
    return quick.cls;
}

// The folded wide text is made only here: for names that are not short
// ASCII and for the aliases.
ky::metamodel::classInfo* modelInfo::pinClassFurther(const wchar_t* name, std::size_t length, bool probed,
                                                     bool searchAliases, detail::hazardSlot* hazards,
                                                     eNameMatch* match) const {
    eNameMatch unused = eNoMatch;
    eNameMatch& how = match ? *match : unused;
    how = eNoMatch;
    const detail::foldedName folded(name, length, mCaseSensitive);
    const std::wstring_view text = folded.view();
    if (!probed) {
        // The key goes by the folded text, which may be short ASCII although
        // the name was not (a Kelvin sign folds to k).
        if (ky::metamodel::classInfo* cls = pinByName(*mIndex, detail::keyOf(text), text, hazards)) {
            how = eOwnName;
            return cls;
        }
        if (!searchAliases) return nullptr;
    }
    // A name never interned is no alias as written; in a model that folds
    // names it may still match an alias written with capitals.
    if (ky::scString interned; mCaseSensitive && !ky::scString::find(name, length, interned)) return nullptr;
    ky::metamodel::classInfo* first = pinAlias(text, hazards);
    if (first) how = eOwnAlias;
    return first;
}

ky::refPtr<ky::metamodel::classInfo> modelInfo::findClass(const wchar_t* name, std::size_t length,
                                                          bool searchAliases) const {
    detail::lookupScope lookup;
    return ky::refPtr<ky::metamodel::classInfo>(pinClass(name, length, searchAliases, &lookup.slot()));
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
    // Room first, so that a failing allocation leaves the model as it was;
    // doubled, since a reserve of one more each time would copy the whole
    // list on every new class.
    roomForOneMore(mRetired);
    roomForOneMore(mOrder);
    roomForOneMore(mDeferred);
    // Until its successor is in the index, lookups of the old class's name
    // wait; then the mark goes (also when this call fails halfway). A class
    // emptied now is an ordinary released class again; one kept for read
    // scopes stays passed by until it is emptied.
    struct retireMark {
        ky::metamodel::classInfo* cls;
        detail::classIndex& index;
        bool kept = false;
        ~retireMark() {
            if (!cls) return;
            index.mark(cls->scName(), false);
            if (!kept) detail::classAccess::of(*cls).retiring.store(false);
        }
    } mark{existing.get(), *mIndex};
    if (existing) {
        mark.kept = retire(existing);
        mClasses.erase(existing->scName());
    }
    ky::refPtr<ky::metamodel::classInfo> created(new ky::metamodel::classInfo(name, mCaseSensitive));
    const ky::scString key = created->scName();
    if (existing) {
        *std::find(mOrder.begin(), mOrder.end(), existing) = created;
        if (!mark.kept) mRetired.push_back(existing);
    } else {
        mOrder.push_back(created);
    }
    mClasses.emplace(key, created.get());
    mIndex->set(key, created.get());
    emptyDeferred();
    // A replaced class goes as soon as no lookup is about to take it.
    if (!mRetired.empty()) {
        detail::heavyBarrier();
        std::erase_if(mRetired, [](const auto& cls) { return !detail::isHazard(cls.get()); });
    }
    ky::refPtr<ky::metamodel::classInfo> registered = classInfo(name, false);
    if (!registered) throw false;
    return registered;
}

bool modelInfo::retire(ky::refPtr<ky::metamodel::classInfo> cls) {
    // Marked first: lookups and base walks that begin now pass the class by,
    // and so do read scopes opened from now on.
    detail::classAccess::of(*cls).retiring.store(true);
    mIndex->mark(cls->scName(), true);
    detail::heavyBarrier();
    // Lookups in flight may be reading its fields (also as someone's base).
    detail::waitForLookups();
    std::vector<detail::scopeMark> readers = detail::scopesReading(this);
    if (readers.empty()) {
        cls->releaseInfo();
        return false;
    }
    mDeferred.push_back({std::move(cls), std::move(readers)});
    return true;
}

void modelInfo::emptyDeferred() {
    for (deferredClass& kept : mDeferred) {
        if (!detail::scopesEnded(kept.readers)) continue;
        kept.cls->releaseInfo();
        detail::classAccess::of(*kept.cls).retiring.store(false);
        // A lookup may still be about to count it, as for any replaced class.
        mRetired.push_back(std::move(kept.cls));
    }
    std::erase_if(mDeferred, [](const deferredClass& kept) { return !kept.cls; });
}

std::size_t modelInfo::countClasses() const { return mOrder.size(); }

classInfoList::const_iterator modelInfo::classes_begin() const { return mOrder.cbegin(); }

classInfoList::const_iterator modelInfo::classes_end() const { return mOrder.cend(); }

ky::refPtr<ky::metamodel::fieldInfo> modelInfo::fieldInfo(const ky::string& className,
                                                          const ky::string& fieldName, bool searchFurther) {
    return findField(className.data(), className.size(), fieldName.data(), fieldName.size(), searchFurther);
}

ky::const_refPtr<ky::metamodel::fieldInfo> modelInfo::fieldInfo(const ky::string& className,
                                                                const ky::string& fieldName,
                                                                bool searchFurther) const {
    return ky::const_refPtr<ky::metamodel::fieldInfo>(
        findField(className.data(), className.size(), fieldName.data(), fieldName.size(), searchFurther));
}

ky::metamodel::fieldInfo* modelInfo::pinField(const wchar_t* className, std::size_t classLength,
                                              const wchar_t* fieldName, std::size_t fieldLength,
                                              bool searchFurther, detail::hazardSlot* hazards) const {
    // The class stays pinned, not counted, while its fields are searched.
    const quickPin quick = pinQuickly(*mIndex, className, classLength, !mCaseSensitive, hazards);
    const ky::metamodel::classInfo* cls =
        quick.answers(searchFurther)
            ? quick.cls
            : pinClassFurther(className, classLength, quick.settled, searchFurther, hazards, nullptr);
    if (!cls) return nullptr;
    return cls->findField(fieldName, fieldLength, searchFurther, false);
}

ky::refPtr<ky::metamodel::fieldInfo> modelInfo::findField(const wchar_t* className, std::size_t classLength,
                                                          const wchar_t* fieldName, std::size_t fieldLength,
                                                          bool searchFurther) const {
    detail::lookupScope lookup;
    return ky::refPtr<ky::metamodel::fieldInfo>(
        pinField(className, classLength, fieldName, fieldLength, searchFurther, &lookup.slot()));
}

ky::refPtr<ky::metamodel::fieldInfo> modelInfo::findQualified(const ky::string& qualifiedName,
                                                              bool searchFurther) const {
    const wchar_t* text = qualifiedName.data();
    const std::size_t dot = firstDot(text, qualifiedName.size());
    if (dot == qualifiedName.size()) return {};
    return findField(text, dot, text + dot + 1, qualifiedName.size() - dot - 1, searchFurther);
}

ky::refPtr<ky::metamodel::fieldInfo> modelInfo::fieldInfo(const ky::string& qualifiedName, bool searchFurther) {
    return findQualified(qualifiedName, searchFurther);
}

ky::const_refPtr<ky::metamodel::fieldInfo> modelInfo::fieldInfo(const ky::string& qualifiedName,
                                                                bool searchFurther) const {
    return findQualified(qualifiedName, searchFurther);
}

modelInfo::lookupResult modelInfo::lookup(const ky::string& name, bool searchAliases, bool searchBases) const {
    lookupResult out;
    const wchar_t* text = name.data();
    const std::size_t dot = firstDot(text, name.size());
    out.qualified = dot != name.size();
    // The class stays pinned while it is counted and its fields are searched.
    detail::lookupScope lookup;
    const ky::metamodel::classInfo* cls = pinClass(text, dot, searchAliases, &lookup.slot(), &out.classMatch);
    if (!cls) return out;
    out.cls = ky::const_refPtr<ky::metamodel::classInfo>(cls);
    if (out.qualified)
        out.field = ky::const_refPtr<ky::metamodel::fieldInfo>(cls->findField(
            text + dot + 1, name.size() - dot - 1, searchBases, searchAliases, nullptr, &out.fieldMatch));
    return out;
}

// ---- read scopes ----

modelInfo::readScope::readScope(const modelInfo& model) : mModel(model), mSlot(detail::myHazards()) {
    detail::openScope(mSlot, &model);
    // Published before the check: a destruction that has not begun yet sees
    // this scope and waits for it.
    if (model.mDying.load()) {
        detail::closeScope(mSlot);
        ky::assertFailed(detail::sites::scopeOfDyingModel);
    }
}

modelInfo::readScope::~readScope() { detail::closeScope(mSlot); }

// A scope keeps every class its lookups may see (see kymdlclassindex.h), so
// they publish nothing and write nothing.
const ky::metamodel::classInfo* modelInfo::readScope::classInfo(const ky::string& name, bool searchAliases) const {
    const quickPin quick = pinQuickly(*mModel.mIndex, name.data(), name.size(), !mModel.mCaseSensitive, nullptr);
    return quick.answers(searchAliases)
               ? quick.cls
               : mModel.pinClassFurther(name.data(), name.size(), quick.settled, searchAliases, nullptr, nullptr);
}

const ky::metamodel::fieldInfo* modelInfo::readScope::fieldInfo(const ky::string& className,
                                                                const ky::string& fieldName,
                                                                bool searchFurther) const {
    return mModel.pinField(className.data(), className.size(), fieldName.data(), fieldName.size(), searchFurther,
                           nullptr);
}

const ky::metamodel::fieldInfo* modelInfo::readScope::fieldInfo(const ky::string& qualifiedName,
                                                                bool searchFurther) const {
    const wchar_t* text = qualifiedName.data();
    const std::size_t dot = firstDot(text, qualifiedName.size());
    if (dot == qualifiedName.size()) return nullptr;
    return mModel.pinField(text, dot, text + dot + 1, qualifiedName.size() - dot - 1, searchFurther, nullptr);
}

}  // namespace ky::metamodel
