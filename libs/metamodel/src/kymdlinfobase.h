// What the descriptors share inside the library: the log line helper, the
// source paths their reports name, and the fixed keys of the internal
// property sets.
#pragma once

#include <kyassert.h>
#include <kylog.h>
#include <kyscstring.h>
#include <kystring.h>

namespace ky::metamodel::detail {

// Source paths named by log lines and assertion reports.
inline constexpr const wchar_t* classInfoFile = L"libs/metamodel/src/kymdlclassinfo";
inline constexpr const wchar_t* fieldInfoFile = L"libs/metamodel/src/kymdlfieldinfo";
inline constexpr const wchar_t* modelInfoFile = L"libs/metamodel/src/kymdlmodelinfo";
inline constexpr const wchar_t* relationInfoFile = L"libs/metamodel/src/kymdlrelationinfo";
inline constexpr const wchar_t* idInfoFile = L"libs/metamodel/src/kymdlidinfo";

// Writes one log line through the logger named after the writing function:
// the message is formatted with string::sformat, and only when the level is
// written at all, so a line below the host's level costs no formatting.
template <class... Args>
void writeLog(kylog::level level, const wchar_t* function, const wchar_t* file, int line,
              const wchar_t* format, Args... args) {
    if (!kylog::logManager::isEnabled(level)) return;
    const kylog::logger& logger = kylog::logManager::getLogger(function);
    logger.log(level, ky::string::sformat(format, args...), file, line, function, nullptr);
}

// Fixed keys of the internal property sets, interned once.
struct keys {
    ky::scString caseSensitiveNames = ky::scString::createFrom(L"caseSensitiveNames");
    ky::scString alias = ky::scString::createFrom(L"Alias");
    ky::scString defaultExpression = ky::scString::createFrom(L"Default");
    ky::scString constantExpression = ky::scString::createFrom(L"Constant");
    ky::scString autoExpression = ky::scString::createFrom(L"Auto");
    ky::scString condition = ky::scString::createFrom(L"Condition");
    ky::scString defaultValue = ky::scString::createFrom(L"DefaultValue");
    ky::scString eqValue = ky::scString::createFrom(L"EqValue");
    ky::scString enumItems = ky::scString::createFrom(L"enumItems");
    ky::scString customSemantic = ky::scString::createFrom(L"custom_semantic");
    ky::scString referencedClasses = ky::scString::createFrom(L"referencedClasses");
};
inline const keys& key() {
    static const keys k;
    return k;
}

}  // namespace ky::metamodel::detail
