#include "json.h"

#include <cstdio>

namespace kymdl {

std::string jsonQuoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
                    char escape[8];
                    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                    out += escape;
                } else {
                    out.push_back(c);
                }
        }
    }
    return out + "\"";
}

json& json::operator[](const std::string& key) {
    if (mKind == kind::null) mKind = kind::object;
    for (auto& [name, value] : mItems)
        if (name == key) return value;
    mItems.emplace_back(key, json());
    return mItems.back().second;
}

json& json::push(json item) {
    if (mKind == kind::null) mKind = kind::array;
    mItems.emplace_back(std::string(), std::move(item));
    return *this;
}

std::string json::dump() const {
    std::string out;
    write(out, 0);
    return out + "\n";
}

void json::write(std::string& out, int depth) const {
    switch (mKind) {
        case kind::null: out += "null"; return;
        case kind::text: out += jsonQuoted(mText); return;
        case kind::flag:
        case kind::number: out += mText; return;
        case kind::array:
        case kind::object: break;
    }
    const bool isObject = mKind == kind::object;
    if (mItems.empty()) {
        out += isObject ? "{}" : "[]";
        return;
    }
    const std::string indent(static_cast<std::size_t>(depth + 1) * 2, ' ');
    out += isObject ? "{\n" : "[\n";
    for (std::size_t i = 0; i < mItems.size(); ++i) {
        out += indent;
        if (isObject) out += jsonQuoted(mItems[i].first) + ": ";
        mItems[i].second.write(out, depth + 1);
        out += i + 1 < mItems.size() ? ",\n" : "\n";
    }
    out += std::string(static_cast<std::size_t>(depth) * 2, ' ') + (isObject ? "}" : "]");
}

}  // namespace kymdl
