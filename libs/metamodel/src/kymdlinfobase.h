// What the descriptors share inside the library: the log line helper and
// the fixed keys of the internal property sets.
#pragma once

#include <kyassert.h>
#include <kylog.h>
#include <kyscstring.h>
#include <kystring.h>

#include <kymdlkeys.h>

#include "kymdlsites.h"

namespace ky::metamodel::detail {

// Writes the log line of `site` through the logger named after the writing
// function: the message is formatted from the site's format with
// string::sformat, and only when the level is written at all, so a line
// below the host's level costs no formatting.
template <class... Args>
void writeLog(const logSite& site, Args... args) {
    if (!kylog::logManager::isEnabled(site.level)) return;
    const kylog::logger& logger = kylog::logManager::getLogger(site.logger);
    logger.log(site.level, ky::string::sformat(site.format, args...), site.file, site.line, site.logger, nullptr);
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
    ky::scString enumItems = ky::scString::createFrom(ky::metamodel::keys::enumItems);
    ky::scString customSemantic = ky::scString::createFrom(ky::metamodel::keys::customSemantic);
    ky::scString length = ky::scString::createFrom(ky::metamodel::keys::length);
    ky::scString referencedClasses = ky::scString::createFrom(ky::metamodel::keys::referencedClasses);
};
inline const keys& key() {
    static const keys k;
    return k;
}

}  // namespace ky::metamodel::detail
