// The converter registry and dtconvert.
//
// Converters are looked up far more often than registered, so the map sits
// behind a shared mutex: lookups share it, registrations take it alone. The
// converter is called after the lock is dropped.

#include "kyconvert.h"

#include <limits>
#include <mutex>
#include <shared_mutex>
#include <typeindex>
#include <unordered_map>
#include <utility>

#include "kyconverters.h"

namespace ky {

struct typeConversionManager::impl {
    using key = std::pair<std::type_index, std::type_index>;  // (target, source)
    struct keyHash {
        std::size_t operator()(const key& k) const noexcept {
            return k.first.hash_code() * 0x9e3779b97f4a7c15ull ^ k.second.hash_code();
        }
    };

    converterFunc find(const std::type_info& target, const std::type_info& source) const {
        std::shared_lock<std::shared_mutex> lock(mutex);
        const auto found = converters.find(key(target, source));
        return found == converters.end() ? nullptr : found->second;
    }

    mutable std::shared_mutex mutex;
    std::unordered_map<key, converterFunc, keyHash> converters;  // guarded by `mutex`
};

typeConversionManager::typeConversionManager() : mImpl(new impl()) { registerBuiltinConverters(*this); }

typeConversionManager::~typeConversionManager() { delete mImpl; }

typeConversionManager& typeConversionManager::instance() {
    // Never destroyed: conversions stay available while other statics go away.
    static typeConversionManager* const manager = new typeConversionManager();
    return *manager;
}

bool typeConversionManager::convert(const std::type_info& targetType, void* target,
                                    const std::type_info& sourceType, const void* source, int,
                                    void*) const {
    if (!target || !source) return false;
    const converterFunc converter = mImpl->find(targetType, sourceType);
    return converter && converter(target, source);
}

bool typeConversionManager::canConvert(const std::type_info& targetType,
                                       const std::type_info& sourceType) const {
    return mImpl->find(targetType, sourceType) != nullptr;
}

void typeConversionManager::registerConverter(const std::type_info& targetType,
                                              const std::type_info& sourceType, converterFunc converter) {
    std::unique_lock<std::shared_mutex> lock(mImpl->mutex);
    mImpl->converters[impl::key(targetType, sourceType)] = converter;
}

namespace {

template <class U>
bool readUnsigned(const string& text, U& value) {
    if (text.empty()) return false;
    U result = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        const auto digit = static_cast<U>(c - L'0');
        if (result > (std::numeric_limits<U>::max() - digit) / 10) return false;
        result = static_cast<U>(result * 10 + digit);
    }
    value = result;
    return true;
}

}  // namespace

bool dtconvert(const string& text, unsigned long& value, int) { return readUnsigned(text, value); }
bool dtconvert(const string& text, unsigned int& value, int) { return readUnsigned(text, value); }
bool dtconvert(const string& text, unsigned short& value, int) { return readUnsigned(text, value); }
bool dtconvert(const string& text, unsigned long long& value, int) { return readUnsigned(text, value); }

}  // namespace ky
