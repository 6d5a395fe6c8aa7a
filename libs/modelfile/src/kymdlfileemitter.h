// The writer of model files' text: nested mappings and lists in YAML block
// style or indented JSON, written as they come (nothing is kept but the
// open collections). A collection opened as flow (and everything inside it)
// goes on one line: `{name: "id", type: "int"}`. Fields and relations are
// written so, one a line, which keeps files short to read and to parse.
// Texts are written in double quotes under one escaping rule that YAML and
// JSON read back the same way; in YAML's block style a text of several
// lines that a literal block holds exactly (see isBlockText) goes into one,
// `|`, `|-` or `|+` as its final line breaks need, so that lists and
// statements kept as text read as they would in an editor.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <kystring.h>

namespace ky::metamodel::file::detail {

class emitter {
public:
    emitter(std::string& out, bool json) : mOut(out), mJson(json) {}

    // Whether the text written is JSON (else YAML).
    bool json() const { return mJson; }
    void beginMap(bool flow = false) { open(true, flow); }
    void beginList(bool flow = false) { open(false, flow); }
    // Closes the innermost open collection.
    void end();
    // Writes the key of the next entry of the open mapping.
    void key(std::wstring_view name);
    // Writes a bool or number as it is.
    void token(std::string_view text);
    // Writes a text, quoted and escaped.
    void text(std::wstring_view value);
    // Writes a list of texts on one line.
    void texts(const std::vector<ky::string>& values);
    // Whether `value` goes into a YAML literal block when written in block
    // style: it has a line break, starts with no blank or line break, has no
    // line that ends in a blank, and holds only characters a block keeps as
    // they are (no other control character, no line or paragraph separator,
    // no byte-order mark).
    static bool isBlockText(std::wstring_view value);

private:
    struct frame {
        bool map;
        bool flow;
        int indent;
        int count = 0;
        bool dashPending = false;
    };

    void newline(int indent);
    void separate(frame& top);
    // A scalar goes after its key or as a list item.
    void beforeScalar();
    void afterScalar();
    void literalBlock(std::wstring_view value);
    void open(bool map, bool flow);

    std::string& mOut;
    bool mJson;
    bool mAfterKey = false;
    std::vector<frame> mStack;
};

}  // namespace ky::metamodel::file::detail
