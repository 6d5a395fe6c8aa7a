// The name a PostgreSQL connection goes by in messages, and libpq's messages
// made fit for a diagnostic.
//
// A password can reach a message three ways: the connection string echoed
// as the place of a diagnostic, libpq quoting the string (or a piece of it)
// when it cannot parse it, and a password taken from the environment. The
// display name is therefore made by reading the string the way libpq reads
// it (the user information of a URI up to the first "@" before any "/", its
// query parameters with percent-decoded keys; the keyword/value pairs with
// quotes and backslash escapes) and replacing each password's value; every
// message libpq gives then has each password found, as written and decoded,
// replaced as well. A message of several lines (a detail, a hint, one line
// per host tried) becomes one line, its lines joined by "; ".
#include "postgresql/connection.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace ky::metamodel::sql {

namespace {

using detail::pgTarget;

constexpr const char* mask = "****";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const int high = i + 2 < text.size() && text[i] == '%' ? hexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(text[i + 2]) : -1;
        if (low >= 0) {
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

void addSecret(pgTarget& target, const std::string& written, const std::string& decoded) {
    for (const std::string* text : {&written, &decoded})
        if (!text->empty() && std::find(target.secrets.begin(), target.secrets.end(), *text) == target.secrets.end())
            target.secrets.push_back(*text);
}

bool isUri(const std::string& text) {
    return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

void readUri(const std::string& uri, pgTarget& target) {
    std::size_t i = uri.find("://") + 3;
    std::string& out = target.displayName;
    out = uri.substr(0, i);
    std::size_t end = i;
    while (end < uri.size() && uri[end] != '@' && uri[end] != '/') ++end;
    if (end < uri.size() && uri[end] == '@') {
        const std::size_t colon = uri.find(':', i);
        if (colon < end) {
            const std::string password = uri.substr(colon + 1, end - colon - 1);
            addSecret(target, password, percentDecoded(password));
            out += uri.substr(i, colon + 1 - i) + mask;
        } else {
            out += uri.substr(i, end - i);
        }
        out += '@';
        i = end + 1;
    }
    const std::size_t query = std::min(uri.find('?', i), uri.size());
    out += uri.substr(i, query - i);
    for (std::size_t p = query; p < uri.size();) {
        out += uri[p++];  // the "?" or "&" before a parameter
        const std::size_t amp = std::min(uri.find('&', p), uri.size());
        const std::string parameter = uri.substr(p, amp - p);
        const std::size_t equals = parameter.find('=');
        if (equals != std::string::npos && percentDecoded(parameter.substr(0, equals)) == "password") {
            const std::string password = parameter.substr(equals + 1);
            addSecret(target, password, percentDecoded(password));
            out += parameter.substr(0, equals + 1) + mask;
        } else {
            out += parameter;
        }
        p = amp;
    }
}

bool isBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Keyword/value pairs as libpq reads them: `keyword = value`, the value
// single-quoted or a run of non-blanks, a backslash escaping the next
// character either way. A string libpq would refuse is masked as far as it
// reads as pairs; what follows a password keyword is masked whatever it is.
void readKeywords(const std::string& text, pgTarget& target) {
    std::string& out = target.displayName;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const std::size_t start = i;
        while (i < n && isBlank(text[i])) ++i;
        const std::size_t keyStart = i;
        while (i < n && text[i] != '=' && !isBlank(text[i])) ++i;
        const bool isPassword = text.compare(keyStart, i - keyStart, "password") == 0;
        while (i < n && isBlank(text[i])) ++i;
        if (i < n && text[i] == '=') ++i;
        while (i < n && isBlank(text[i])) ++i;
        out += text.substr(start, i - start);
        const std::size_t valueStart = i;
        std::string value;
        const bool quoted = i < n && text[i] == '\'';
        for (i += quoted ? 1 : 0; i < n; ++i) {
            if (text[i] == '\\' && i + 1 < n) {
                value.push_back(text[++i]);
            } else if (quoted ? text[i] == '\'' : isBlank(text[i])) {
                break;
            } else {
                value.push_back(text[i]);
            }
        }
        // The value as written, without its quotes.
        const std::string written = text.substr(valueStart + (quoted ? 1 : 0), i - valueStart - (quoted ? 1 : 0));
        if (quoted && i < n) ++i;
        if (isPassword) {
            addSecret(target, written, value);
            out += mask;
        } else {
            out += text.substr(valueStart, i - valueStart);
        }
    }
}

// `text` with each secret replaced, the longest first (one may hold another).
std::string withoutSecrets(std::string text, std::vector<std::string> secrets) {
    std::sort(secrets.begin(), secrets.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const std::string& secret : secrets) {
        if (secret.empty()) continue;
        for (auto at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 4))
            text.replace(at, secret.size(), mask);
    }
    return text;
}

// The lines of `text`, each without surrounding blanks, joined by "; ".
std::string oneLine(const std::string& text) {
    std::string out;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::size_t first = start;
        std::size_t last = end;
        while (first < last && isBlank(text[first])) ++first;
        while (last > first && isBlank(text[last - 1])) --last;
        if (last > first) out += (out.empty() ? "" : "; ") + text.substr(first, last - first);
        start = end + 1;
    }
    return out;
}

}  // namespace

std::string connectionDisplayName(const std::string& conninfo) { return detail::pgTargetOf(conninfo).displayName; }

namespace detail {

pgTarget pgTargetOf(const std::string& conninfo) {
    pgTarget target;
    if (isUri(conninfo)) readUri(conninfo, target);
    else readKeywords(conninfo, target);
    return target;
}

ky::string pgMessage(PGconn* conn, const PGresult* result, const std::vector<std::string>& secrets) {
    const char* text = result ? PQresultErrorMessage(result) : nullptr;
    if (!text || !*text) text = conn ? PQerrorMessage(conn) : "out of memory";
    std::vector<std::string> all = secrets;
    if (const char* own = conn ? PQpass(conn) : nullptr) all.emplace_back(own);
    if (const char* environment = std::getenv("PGPASSWORD")) all.emplace_back(environment);
    return wide(withoutSecrets(oneLine(text), all));
}

PGconn* pgConnect(const std::string& conninfo, int timeoutS, const pgTarget& target, diagnostics& problems) {
    // The whole string stands as dbname, which libpq expands; a timeout
    // given after it wins over one the string names.
    // Without a timeout of its own, libpq's (or the string's) holds.
    const std::string timeout = std::to_string(timeoutS);
    const char* keywords[] = {"dbname", timeoutS > 0 ? "connect_timeout" : nullptr, nullptr};
    const char* values[] = {conninfo.c_str(), timeout.c_str(), nullptr};
    PGconn* conn = PQconnectdbParams(keywords, values, 1);
    if (conn && PQstatus(conn) == CONNECTION_OK) return conn;
    problems.push_back(makeDiagnostic(eError, "sql.connect", L"the PostgreSQL server could not be reached", {}, {},
                                      pgMessage(conn, nullptr, target.secrets)));
    problems.back().file = wide(target.displayName);
    PQfinish(conn);
    return nullptr;
}

bool pgCommand(PGconn* conn, const char* sql, diagnostics& problems, const char* code, const wchar_t* what) {
    PGresult* result = PQexec(conn, sql);
    const bool ok = result && PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok) problems.push_back(makeDiagnostic(eError, code, what, {}, {}, pgMessage(conn, result)));
    PQclear(result);
    return ok;
}

}  // namespace detail
}  // namespace ky::metamodel::sql
