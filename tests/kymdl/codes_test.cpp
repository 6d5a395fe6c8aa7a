// The codes that the libraries and the tool report, read three ways: the
// code literals of the sources, the tables of codes, and the code tables of
// docs/*.md (a row whose first cell is one code, or several separated by
// commas). Each way must list exactly what the others list.
#include <gtest/gtest.h>

#include <kymdlfile.h>
#include <kymdlsql.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;
using ky::metamodel::diagnosticCode;

const fs::path sourceDir = KY_SOURCE_DIR;

std::string readAll(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string narrow(std::wstring_view text) { return ky::string(text).toUtf8(); }

// The SQL library's user-property keys share the "sql." prefix with its
// codes (docs/sql.md): a key prefix such as "sql.index." and the one-word
// keys below are no codes.
bool isPropertyKey(const std::string& literal) {
    static const std::set<std::string> keys{"sql.schema", "sql.table", "sql.kind"};
    return literal.back() == '.' || keys.count(literal) > 0;
}

// Every code literal ("M012", L"M012", "sql.open") of the sources under
// `dirs`, the files of the tables themselves left out.
std::set<std::string> emittedCodes() {
    static const std::regex literal(R"re(L?"(M[0-9]{3}|sql\.[a-z][a-z.-]*)")re");
    std::set<std::string> codes;
    for (const char* dir : {"libs/modelfile/src", "libs/modelsql/src", "tools/kymdl"}) {
        for (const auto& entry : fs::recursive_directory_iterator(sourceDir / dir)) {
            const std::string name = entry.path().filename().string();
            if (name == "kymdlfilecodes.cpp" || name == "sqlcodes.cpp") continue;
            if (entry.path().extension() != ".cpp" && entry.path().extension() != ".h") continue;
            const std::string text = readAll(entry.path());
            for (std::sregex_iterator it(text.begin(), text.end(), literal), end; it != end; ++it)
                if (!isPropertyKey((*it)[1].str())) codes.insert((*it)[1].str());
        }
    }
    return codes;
}

// The codes of the docs' tables with the severity word of their row.
std::map<std::string, std::string> documentedCodes() {
    static const std::regex row(R"(^\| ([^|]+) \| ([a-z]+) \|)");
    static const std::regex code(R"(^(M[0-9]{3}|`sql\.[a-z][a-z.-]*`)$)");
    std::map<std::string, std::string> codes;
    for (const auto& entry : fs::directory_iterator(sourceDir / "docs")) {
        if (entry.path().extension() != ".md") continue;
        std::istringstream lines(readAll(entry.path()));
        for (std::string line; std::getline(lines, line);) {
            std::smatch cells;
            if (!std::regex_search(line, cells, row)) continue;
            std::vector<std::string> pieces;
            std::istringstream first(cells[1].str());
            for (std::string piece; std::getline(first, piece, ',');) {
                piece.erase(0, piece.find_first_not_of(' '));
                if (!std::regex_match(piece, code)) {
                    pieces.clear();
                    break;
                }
                if (piece.front() == '`') piece = piece.substr(1, piece.size() - 2);
                pieces.push_back(piece);
            }
            for (const std::string& piece : pieces) codes[piece] = cells[2].str();
        }
    }
    return codes;
}

std::vector<diagnosticCode> allTables() {
    std::vector<diagnosticCode> rows = ky::metamodel::file::codeTable();
    const auto& sqlRows = ky::metamodel::sql::codeTable();
    rows.insert(rows.end(), sqlRows.begin(), sqlRows.end());
    return rows;
}

std::set<std::string> tableCodes() {
    std::set<std::string> codes;
    for (const diagnosticCode& row : allTables()) codes.insert(narrow(row.code));
    return codes;
}

TEST(CodeTables, ListEveryCodeTheSourcesEmit) {
    const std::set<std::string> tables = tableCodes();
    for (const std::string& code : emittedCodes()) EXPECT_EQ(tables.count(code), 1u) << code;
}

TEST(CodeTables, ListNoCodeTheSourcesNeverEmit) {
    const std::set<std::string> emitted = emittedCodes();
    for (const std::string& code : tableCodes()) EXPECT_EQ(emitted.count(code), 1u) << code;
}

TEST(CodeTables, ListEachCodeOnce) { EXPECT_EQ(tableCodes().size(), allTables().size()); }

TEST(CodeTables, AreDocumentedWithTheirSeverity) {
    const std::map<std::string, std::string> docs = documentedCodes();
    for (const diagnosticCode& row : allTables()) {
        const std::string code = narrow(row.code);
        const auto found = docs.find(code);
        ASSERT_NE(found, docs.end()) << code << " is in no table of docs/*.md";
        EXPECT_EQ(found->second, narrow(ky::metamodel::diagnostic::severityWord(row.severity))) << code;
    }
}

TEST(CodeTables, HoldEveryDocumentedCode) {
    const std::set<std::string> tables = tableCodes();
    for (const auto& [code, severity] : documentedCodes()) EXPECT_EQ(tables.count(code), 1u) << code;
}

TEST(CodeTables, GiveEachCodeATitleAndAnAnchorIntoTheDocs) {
    for (const diagnosticCode& row : allTables()) {
        EXPECT_FALSE(row.title.empty()) << narrow(row.code);
        const std::string anchor(row.anchor);
        EXPECT_TRUE(fs::exists(sourceDir / "docs" / anchor.substr(0, anchor.find('#')))) << narrow(row.code);
    }
}

}  // namespace
