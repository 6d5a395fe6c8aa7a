// What the model-file tests share: the reference shop model, reading files,
// and diagnostics as the lines a compiler would print.
#pragma once

#include <gtest/gtest.h>

#include <kymdlfile.h>
#include <shop_model.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace kyfiletest {

using namespace ky::metamodel;
namespace file = ky::metamodel::file;

// The example host's shop model, built through the API.
inline refPtr<modelInfo> shopModel() {
    refPtr<modelInfo> model = modelInfo::createModelInfo(false);
    shop::buildShopModel(model);
    return model;
}

// Every diagnostic as "file:line:col: error Mxxx: message", one a line,
// its hint and related places on the lines below.
inline std::string diagnosticsText(const file::loadResult& result) {
    std::string out;
    for (const file::diagnostic& d : result.diagnostics) {
        out += d.text().toUtf8() + "\n";
        if (!d.hint.empty()) out += "  hint: " + d.hint.toUtf8() + "\n";
        for (const auto& r : d.related)
            out += "  note at " + std::to_string(r.line) + ":" + std::to_string(r.column) + ": " + r.message.toUtf8() + "\n";
    }
    return out;
}

// The whole content of the file at `path` ("" when it cannot be read).
inline std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names of the files in `dir` that end in one of `extensions`, sorted.
inline std::vector<std::string> filesIn(const std::filesystem::path& dir,
                                        std::initializer_list<const char*> extensions) {
    std::vector<std::string> names;
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(dir))
        for (const char* extension : extensions)
            if (entry.path().extension() == extension) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Whether the golden files are to be rewritten (KY_UPDATE_GOLDEN set), in
// which case `actual` is written to `expectedPath` for review.
inline bool rewroteGolden(const std::filesystem::path& expectedPath, const std::string& actual) {
    if (!std::getenv("KY_UPDATE_GOLDEN")) return false;
    std::ofstream(expectedPath, std::ios::binary) << actual;
    return true;
}

// A file name as a test name: every character but letters and digits
// becomes '_'.
inline std::string testNameOf(std::string name) {
    std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

inline std::string joined(const std::vector<ky::string>& lines) {
    std::string out;
    for (const ky::string& line : lines) out += line.toUtf8() + "\n";
    return out;
}

}  // namespace kyfiletest
