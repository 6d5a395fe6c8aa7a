// The SQL library's handling of type texts, identifiers and literals on
// arbitrary text: reading a column type, quoting a name, reading a default
// back, and the round trips of a known type through its SQL spelling and of
// a default value through its literal.
#include <kymdlsql.h>

#include "fuzz_support.h"

using namespace ky::metamodel;

namespace {

// A quoted identifier opens and closes with a quote and holds each inner
// quote doubled; an unquoted one is a plain word.
void checkIdentifier(const ky::string& text) {
    const std::string quoted = sql::quoteIdentifier(text, sql::ePostgresql);
    if (quoted.empty() && !text.empty()) __builtin_trap();
    if (quoted.front() != '"') return;
    if (quoted.size() < 2 || quoted.back() != '"') __builtin_trap();
    for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] != '"') continue;
        if (quoted[i + 1] != '"') __builtin_trap();
        ++i;
    }
}

// A known type written back in SQL reads as the same type again.
void checkType(const ky::string& text) {
    const sql::columnType type = sql::parseColumnType(text, sql::eSqlite);
    if (!type.known) {
        if (type.type != eCustom) __builtin_trap();
        return;
    }
    const std::string written = sql::sqlTypeOf(type.type, type.length, type.semantic, sql::eSqlite);
    const sql::columnType again = sql::parseColumnType(ky::string::fromUtf8(written), sql::eSqlite);
    if (again.type != type.type || again.semantic != type.semantic) __builtin_trap();
    if (type.type == eString && again.length != type.length) __builtin_trap();
}

// A string literal reads back as the text it was made of.
void checkLiteral(const ky::string& text) {
    std::string literal;
    if (!sql::quoteLiteral(text, literal)) return;
    ky::genericValue value;
    if (!sql::parseDefaultLiteral(ky::string::fromUtf8(literal), eString, value)) __builtin_trap();
    if (value.strictRead<ky::string>() != ky::string::fromUtf8(text.toUtf8())) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kyfuzz::quietAssertions();
    const ky::string text = kyfuzz::textOf(data, size);
    checkIdentifier(text);
    checkType(text);
    checkLiteral(text);
    (void)sql::isSafeCustomType(text);
    static const eFieldType types[] = {eBool, eShort, eInt, eLong, eFloat, eDouble, eString, eDate, eTime, eTimestamp, eBinary};
    // A value read from a default is written as a literal that reads back
    // as a value written the same way.
    for (eFieldType type : types) {
        for (sql::eDialect dialect : {sql::eSqlite, sql::ePostgresql}) {
            ky::genericValue value, again;
            std::string literal, second;
            if (!sql::parseDefaultLiteral(text, type, value) || !sql::literalOf(value, type, dialect, literal)) continue;
            if (!sql::parseDefaultLiteral(ky::string::fromUtf8(literal), type, again)) __builtin_trap();
            if (!sql::literalOf(again, type, dialect, second) || second != literal) __builtin_trap();
        }
    }
    return 0;
}
