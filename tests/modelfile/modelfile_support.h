// What the model-file tests share: the reference shop model, loading from
// text and files, and diagnostics as the lines a compiler would print.
#pragma once

#include <gtest/gtest.h>

#include <kymdlfile.h>
#include <shop_model.h>

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

// Every diagnostic as "file:line:col: error Mxxx: message", one a line.
inline std::string diagnosticsText(const file::loadResult& result) {
    std::string out;
    for (const file::diagnostic& d : result.diagnostics) out += d.text().toUtf8() + "\n";
    return out;
}

inline std::string joined(const std::vector<ky::string>& lines) {
    std::string out;
    for (const ky::string& line : lines) out += line.toUtf8() + "\n";
    return out;
}

}  // namespace kyfiletest
