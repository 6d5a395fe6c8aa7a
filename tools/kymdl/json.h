// A JSON value for the tool's machine-readable outputs (check, show, lookup
// in --format json, the SARIF log): built in memory, then written with two
// blanks of indentation per level and the members in the order they were set.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kymdl {

class json {
public:
    /// null.
    json() = default;
    /// A text (UTF-8).
    json(std::string text) : mKind(kind::text), mText(std::move(text)) {}
    /// A text (UTF-8).
    json(const char* text) : json(std::string(text)) {}
    /// A number.
    json(std::int64_t number) : mKind(kind::number), mText(std::to_string(number)) {}
    /// A number.
    json(std::uint32_t number) : json(static_cast<std::int64_t>(number)) {}
    /// A number.
    json(int number) : json(static_cast<std::int64_t>(number)) {}
    /// true or false.
    json(bool flag) : mKind(kind::flag), mText(flag ? "true" : "false") {}

    /// An empty object.
    static json object() { return json(kind::object); }
    /// An empty array.
    static json array() { return json(kind::array); }

    /// The member `key` of an object (appended, null, when new), for setting;
    /// a null value becomes an empty object first.
    json& operator[](const std::string& key);
    /// Appends `item` to an array (a null value becomes an empty one first);
    /// returns *this.
    json& push(json item);
    /// The number of items of an array or members of an object.
    std::size_t size() const { return mItems.size(); }

    /// The value as JSON text, ending in a line break.
    std::string dump() const;

private:
    enum class kind { null, flag, number, text, array, object };
    explicit json(kind k) : mKind(k) {}
    void write(std::string& out, int depth) const;

    kind mKind = kind::null;
    std::string mText;                                 // a text's UTF-8, a number's or flag's spelling
    std::vector<std::pair<std::string, json>> mItems;  // members of an object; items of an array (key empty)
};

/// `text` (UTF-8) as a JSON string, quotes included: quotes, backslashes
/// and control characters escaped.
std::string jsonQuoted(const std::string& text);

}  // namespace kymdl
