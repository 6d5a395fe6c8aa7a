// Conversions between value types.
//
// The typeConversionManager is a process-wide registry of converters keyed by
// (target type, source type). It comes with the conversions between numbers,
// bool, text, dates, times, timestamps, files and directories; a host may add
// its own. Converting and registering are safe from several threads.
#pragma once

#include <cstdint>
#include <typeinfo>

#include "kystring.h"
#include "kyutilsexport.h"

namespace ky {

/// Writes the converted value of `source` into `target`; false when the
/// source value has no representation in the target type (then nothing is
/// written).
using converterFunc = bool (*)(void* target, const void* source);

/// The process-wide registry of converters keyed by (target type, source
/// type), reached through instance() and owned by the library. Converting
/// and registering are safe from several threads.
class KY_UTILS_API typeConversionManager {
public:
    /// The process-wide manager.
    static typeConversionManager& instance();

    /// Converts `source` of `sourceType` into `target` of `targetType`. False
    /// when no converter exists, when the value does not convert, or when
    /// target or source is null; the target is then unchanged. `flags` and
    /// `context` are reserved (0 and null).
    bool convert(const std::type_info& targetType, void* target, const std::type_info& sourceType,
                 const void* source, int flags, void* context) const;
    /// Whether a converter from `sourceType` to `targetType` exists.
    bool canConvert(const std::type_info& targetType, const std::type_info& sourceType) const;
    /// Adds or replaces the converter from `sourceType` to `targetType`.
    void registerConverter(const std::type_info& targetType, const std::type_info& sourceType,
                           converterFunc converter);

    /// Typed form of convert.
    template <class To, class From>
    bool convert(To& target, const From& source) const {
        return convert(typeid(To), &target, typeid(From), &source, 0, nullptr);
    }

    typeConversionManager(const typeConversionManager&) = delete;
    typeConversionManager& operator=(const typeConversionManager&) = delete;

private:
    typeConversionManager();
    ~typeConversionManager();
    struct impl;
    impl* mImpl;
};

/// Reads an unsigned number from `text`: plain decimal digits only; a sign,
/// blanks, other characters, an empty text or a value above the type's range
/// fail and leave `value` unchanged. `flags` is reserved (0).
KY_UTILS_API bool dtconvert(const string& text, unsigned long& value, int flags = 0);
KY_UTILS_API bool dtconvert(const string& text, unsigned int& value, int flags = 0);  ///< The same for unsigned int.
KY_UTILS_API bool dtconvert(const string& text, unsigned short& value, int flags = 0);  ///< The same for unsigned short.
KY_UTILS_API bool dtconvert(const string& text, unsigned long long& value, int flags = 0);  ///< The same for unsigned long long.

}  // namespace ky
