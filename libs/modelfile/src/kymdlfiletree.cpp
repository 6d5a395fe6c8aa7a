// Reading a model file into its plain tree through libyaml's event parser
// (JSON is read by the same parser: a JSON text is a YAML flow collection).
#include "kymdlfiletree.h"

#include <yaml.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <limits>
#include <map>
#include <utility>

namespace ky::metamodel::file::detail {

namespace {

// Owns one libyaml parser and its current event.
class eventReader {
public:
    explicit eventReader(std::string_view input) {
        yaml_parser_initialize(&mParser);
        yaml_parser_set_input_string(&mParser, reinterpret_cast<const unsigned char*>(input.data()), input.size());
    }
    ~eventReader() {
        if (mHaveEvent) yaml_event_delete(&mEvent);
        yaml_parser_delete(&mParser);
    }
    eventReader(const eventReader&) = delete;
    eventReader& operator=(const eventReader&) = delete;

    bool next() {
        if (mHaveEvent) yaml_event_delete(&mEvent);
        mHaveEvent = yaml_parser_parse(&mParser, &mEvent) != 0;
        return mHaveEvent;
    }
    const yaml_event_t& event() const { return mEvent; }
    const yaml_parser_t& parser() const { return mParser; }

private:
    yaml_parser_t mParser;
    yaml_event_t mEvent;
    bool mHaveEvent = false;
};

// Line and column (1-based, in characters) of byte `offset` of `input`.
void placeOf(std::string_view input, std::size_t offset, std::uint32_t& line, std::uint32_t& column) {
    line = 1;
    column = 1;
    offset = std::min(offset, input.size());
    for (std::size_t i = 0; i < offset; ++i) {
        const auto c = static_cast<unsigned char>(input[i]);
        if (c == '\n') {
            ++line;
            column = 1;
        } else if ((c & 0xc0) != 0x80) {
            ++column;
        }
    }
}

// The value of the four hex digits at `p`, or -1.
long hex4(std::string_view input, std::size_t p) {
    if (p + 4 > input.size()) return -1;
    long value = 0;
    for (std::size_t i = p; i < p + 4; ++i) {
        const char c = input[i];
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

bool isSurrogate(long unit) { return unit >= 0xd800 && unit <= 0xdfff; }

bool mayHoldSurrogates(std::string_view input) {
    for (std::size_t p = input.find("\\u"); p != std::string_view::npos; p = input.find("\\u", p + 2))
        if (isSurrogate(hex4(input, p + 2))) return true;
    return false;
}

// JSON writes a character beyond U+FFFF as a UTF-16 pair of escapes
// ("\ud83d\ude00"), which libyaml refuses as two lone surrogates. Each pair
// becomes the one escape libyaml reads ("\U0001F600"), two bytes shorter,
// and the bytes saved are given back as blanks after the string's closing
// quote (or before the end of its line, for a string that goes on), so
// every token keeps its byte offset, line and column. The text is copied
// only when it holds a surrogate escape at all.
surrogateScan mendSurrogatePairs(std::string_view input) {
    surrogateScan scan;
    if (!mayHoldSurrogates(input)) return scan;
    std::string& out = scan.mended;
    out.reserve(input.size());
    std::size_t owed = 0;  // blanks to give back
    bool mendedAny = false;
    for (std::size_t i = 0; i < input.size();) {
        const char c = input[i];
        if (c == '\\' && i + 1 < input.size()) {
            const long high = input[i + 1] == 'u' ? hex4(input, i + 2) : -1;
            const long low = high >= 0xd800 && high <= 0xdbff && i + 8 <= input.size() &&
                                     input.substr(i + 6, 2) == "\\u"
                                 ? hex4(input, i + 8) : -1;
            if (low >= 0xdc00 && low <= 0xdfff) {
                char escape[16];
                std::snprintf(escape, sizeof escape, "\\U%08lX", 0x10000 + ((high - 0xd800) << 10) + (low - 0xdc00));
                out += escape;
                owed += 2;
                mendedAny = true;
                i += 12;
                continue;
            }
            if (isSurrogate(high) && scan.lone == std::string_view::npos) scan.lone = i;
            out.append(input.substr(i, 2));
            i += 2;
            continue;
        }
        if (owed && (c == '\n' || c == '\r')) out.append(std::exchange(owed, 0), ' ');
        out += c;
        if (owed && c == '"') out.append(std::exchange(owed, 0), ' ');
        ++i;
    }
    out.append(owed, ' ');
    if (!mendedAny) out.clear();
    return scan;
}

// libyaml's words for an escape that names no character.
constexpr std::string_view badEscape = "found invalid Unicode character escape code";

void reportParseError(const yaml_parser_t& parser, std::string_view input, const surrogateScan& scan,
                      reporter& report) {
    std::uint32_t line = static_cast<std::uint32_t>(parser.problem_mark.line) + 1;
    std::uint32_t column = static_cast<std::uint32_t>(parser.problem_mark.column) + 1;
    if (parser.error == YAML_READER_ERROR) placeOf(input, parser.problem_offset, line, column);
    if (parser.problem && parser.problem == badEscape && scan.lone != std::string_view::npos) {
        std::uint32_t loneLine = 0, loneColumn = 0;
        placeOf(input, scan.lone, loneLine, loneColumn);
        if (loneLine == line) {
            report.error(loneLine, loneColumn, L"M003",
                         L"syntax error: the escape " + quoted(input.substr(scan.lone, 6)) +
                             L" is one half of a UTF-16 surrogate pair without the other; a character beyond "
                             L"U+FFFF is written as a pair of escapes, high then low, such as \\ud83d\\ude00");
            return;
        }
    }
    ky::string message = parser.error == YAML_READER_ERROR ? L"the file is not valid UTF-8 text: " : L"syntax error: ";
    message += wide(parser.problem ? parser.problem : "unknown problem");
    if (parser.context) {
        message += L" (";
        message += wide(parser.context);
        message += L")";
    }
    // libyaml reads a key written without a block indicator ("name:" in a
    // block mapping, any key of a JSON object) only up to 1,024 characters
    // and then reports that the ':' is missing.
    if (parser.context && std::string_view(parser.context) == "while scanning a simple key")
        message += L"; a key is at most 1,024 characters long on one line";
    report.error(line, column, L"M003", message);
}

// Whether a plain scalar is a JSON literal: a number, true, false or null.
bool isJsonLiteral(std::string_view text) {
    if (text == "true" || text == "false" || text == "null") return true;
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty() &&
           (text[0] == '-' || (text[0] >= '0' && text[0] <= '9'));
}

std::uint32_t saturatingAdd(std::uint32_t a, std::uint32_t b) {
    const std::uint64_t sum = std::uint64_t(a) + b;
    return sum > std::numeric_limits<std::uint32_t>::max() ? std::numeric_limits<std::uint32_t>::max()
                                                           : static_cast<std::uint32_t>(sum);
}

}  // namespace

bool tree::parse(std::string_view input, bool json, const loadOptions& options, reporter& report) {
    if (input.size() >= std::numeric_limits<std::uint32_t>::max()) {
        report.error(0, 0, L"M002", L"the file is too large");
        return false;
    }
    const surrogateScan scan = json ? mendSurrogatePairs(input) : surrogateScan();
    return read(scan.mended.empty() ? input : std::string_view(scan.mended), json, scan, options, report);
}

std::uint64_t tree::textBytes(std::uint32_t index) const {
    std::uint64_t bytes = 0;
    std::vector<std::uint32_t> stack{index};
    while (!stack.empty()) {
        const node& n = mNodes[stack.back()];
        stack.pop_back();
        if (n.kind == nodeKind::scalar) bytes += n.size;
        else
            for (std::uint32_t i = 0; i < n.size; ++i) stack.push_back(mKids[n.first + i]);
    }
    return bytes;
}

// A scalar that does not fit the rest of the current block starts a new
// one at the next block's offset; one longer than a block gets a block of
// its own length, whose offsets stand for as many blocks.
std::uint32_t tree::appendText(const unsigned char* bytes, std::size_t length) {
    if (length == 0) return 0;
    const std::uint64_t used = mTextEnd & (textBlock - 1);
    if (used == 0 || used + length > textBlock) {
        const std::uint64_t start = (mTextEnd + textBlock - 1) & ~std::uint64_t(textBlock - 1);
        const std::uint64_t blocks = (length + textBlock - 1) / textBlock;
        if (start + blocks * textBlock > std::numeric_limits<std::uint32_t>::max()) return none;
        mText.resize(start >> textBits);
        mText.push_back(std::make_unique_for_overwrite<char[]>(blocks * textBlock));
        mText.resize((start >> textBits) + blocks);
        mTextEnd = start;
    }
    const auto offset = static_cast<std::uint32_t>(mTextEnd);
    std::copy(bytes, bytes + length, mText[offset >> textBits].get() + (offset & (textBlock - 1)));
    // A scalar of several blocks keeps its blocks; the next text starts after them.
    mTextEnd = length > textBlock ? (mTextEnd + length + textBlock - 1) & ~std::uint64_t(textBlock - 1)
                                  : mTextEnd + length;
    return offset;
}

void tree::releaseBefore(std::uint32_t index) {
    if (mAliased) return;
    // The subtree of `index` is the nodes from it on up to the next one it
    // does not reach (read in file order), its children the lowest child
    // offset of its collections on, its text its first scalar's text on.
    std::uint32_t kids = none, text = none;
    std::vector<std::uint32_t> stack{index};
    while (!stack.empty()) {
        const node& n = mNodes[stack.back()];
        stack.pop_back();
        if (n.kind == nodeKind::scalar) {
            if (n.size) text = std::min(text, n.first);
            continue;
        }
        if (n.size) kids = std::min(kids, n.first);
        for (std::uint32_t i = 0; i < n.size; ++i) stack.push_back(mKids[n.first + i]);
    }
    mNodes.releaseBefore(index);
    if (kids != none) mKids.releaseBefore(kids);
    for (std::uint32_t b = 0; text != none && b < (text >> textBits) && b < mText.size(); ++b) mText[b].reset();
}

bool tree::read(std::string_view input, bool json, const surrogateScan& scan, const loadOptions& options,
                reporter& report) {
    eventReader reader(input);
    // The collections being read: node index and the children read so far.
    // The child lists are kept per depth and reused, so that reading
    // allocates only when a level is deeper or wider than before.
    std::vector<std::uint32_t> open;
    std::vector<std::vector<std::uint32_t>> pending;
    // Nodes in each subtree, aliases counted in full (saturating); needed
    // only while reading, so kept beside the nodes rather than in them.
    std::vector<std::uint32_t> weights;
    weights.reserve(input.size() / 9 + 16);  // about one node for every 9 bytes
    std::map<std::string, std::uint32_t> anchors;
    std::uint64_t aliasNodes = 0, aliasBytes = 0;
    int documents = 0;

    auto addNode = [&](const yaml_mark_t& mark, nodeKind kind) {
        node n;
        n.kind = kind;
        mNodes.push_back(n);
        mPlaces.push_back({static_cast<std::uint32_t>(mark.line) + 1, static_cast<std::uint32_t>(mark.column) + 1});
        weights.push_back(1);
        return static_cast<std::uint32_t>(mNodes.size() - 1);
    };
    auto attach = [&](std::uint32_t index) {
        if (open.empty()) {
            mRoot = index;
        } else {
            pending[open.size() - 1].push_back(index);
            weights[open.back()] = saturatingAdd(weights[open.back()], weights[index]);
        }
    };
    auto remember = [&](const yaml_char_t* anchor, std::uint32_t index) {
        if (anchor) anchors[reinterpret_cast<const char*>(anchor)] = index;
    };

    while (true) {
        if (!reader.next()) {
            reportParseError(reader.parser(), input, scan, report);
            return false;
        }
        const yaml_event_t& ev = reader.event();
        switch (ev.type) {
            case YAML_STREAM_END_EVENT:
                if (documents == 0) {
                    report.error(1, 1, L"M004", L"the file is empty: it holds no model");
                    return false;
                }
                return true;
            case YAML_DOCUMENT_START_EVENT:
                if (++documents > 1) {
                    report.error(static_cast<std::uint32_t>(ev.start_mark.line) + 1,
                                 static_cast<std::uint32_t>(ev.start_mark.column) + 1, L"M005",
                                 L"a model file holds one document; a second one starts here");
                    return false;
                }
                break;
            case YAML_SCALAR_EVENT: {
                if (ev.data.scalar.length > maxScalarBytes) {
                    report.error(static_cast<std::uint32_t>(ev.start_mark.line) + 1,
                                 static_cast<std::uint32_t>(ev.start_mark.column) + 1, L"M002",
                                 L"a scalar longer than " + std::to_wstring(maxScalarBytes) + L" bytes");
                    return false;
                }
                const std::uint32_t index = addNode(ev.start_mark, nodeKind::scalar);
                node& n = mNodes[index];
                n.plain = ev.data.scalar.style == YAML_PLAIN_SCALAR_STYLE;
                n.first = appendText(ev.data.scalar.value, ev.data.scalar.length);
                n.size = static_cast<std::uint32_t>(ev.data.scalar.length);
                if (n.first == none) {
                    report.error(mPlaces[index].line, mPlaces[index].column, L"M002", L"the file is too large");
                    return false;
                }
                if (json && (ev.data.scalar.style == YAML_SINGLE_QUOTED_SCALAR_STYLE ||
                             ev.data.scalar.style == YAML_LITERAL_SCALAR_STYLE ||
                             ev.data.scalar.style == YAML_FOLDED_SCALAR_STYLE ||
                             (n.plain && !isJsonLiteral(text(n))))) {
                    report.error(mPlaces[index].line, mPlaces[index].column, L"M008", L"not JSON: " + quoted(text(n)) +
                                                               L" is a YAML scalar; JSON texts are in double quotes");
                }
                remember(ev.data.scalar.anchor, index);
                attach(index);
                break;
            }
            case YAML_SEQUENCE_START_EVENT:
            case YAML_MAPPING_START_EVENT: {
                const bool isMap = ev.type == YAML_MAPPING_START_EVENT;
                const std::uint32_t index = addNode(ev.start_mark, isMap ? nodeKind::mapping : nodeKind::sequence);
                const bool block = isMap ? ev.data.mapping_start.style == YAML_BLOCK_MAPPING_STYLE
                                         : ev.data.sequence_start.style == YAML_BLOCK_SEQUENCE_STYLE;
                if (json && block) {
                    report.error(mPlaces[index].line, mPlaces[index].column, L"M008",
                                 L"not JSON: a YAML block collection; JSON collections are in brackets or braces");
                }
                if (open.size() >= options.maxDepth) {
                    report.error(mPlaces[index].line, mPlaces[index].column, L"M006",
                                 L"collections nested deeper than " + std::to_wstring(options.maxDepth) +
                                     L" levels");
                    return false;
                }
                remember(isMap ? ev.data.mapping_start.anchor : ev.data.sequence_start.anchor, index);
                open.push_back(index);
                if (pending.size() < open.size()) pending.emplace_back();
                pending[open.size() - 1].clear();
                break;
            }
            case YAML_SEQUENCE_END_EVENT:
            case YAML_MAPPING_END_EVENT: {
                const std::uint32_t index = open.back();
                std::vector<std::uint32_t>& kids = pending[open.size() - 1];
                node& n = mNodes[index];
                n.first = static_cast<std::uint32_t>(mKids.size());
                n.size = static_cast<std::uint32_t>(kids.size());
                for (std::uint32_t kid : kids) mKids.push_back(kid);
                open.pop_back();
                attach(index);
                break;
            }
            case YAML_ALIAS_EVENT: {
                const std::uint32_t line = static_cast<std::uint32_t>(ev.start_mark.line) + 1;
                const std::uint32_t column = static_cast<std::uint32_t>(ev.start_mark.column) + 1;
                const auto found = anchors.find(reinterpret_cast<const char*>(ev.data.alias.anchor));
                const bool unfinished = found != anchors.end() &&
                                   std::find(open.begin(), open.end(), found->second) != open.end();
                if (found == anchors.end() || unfinished) {
                    report.error(line, column, L"M007",
                                 found == anchors.end() ? L"alias to an unknown anchor"
                                                        : L"alias to a collection that contains it");
                    return false;
                }
                // The alias shares the anchored node; what it would expand to
                // is counted, so that aliases of aliases cannot multiply the
                // work of the reader beyond the limit.
                aliasNodes += weights[found->second];
                if (aliasNodes > options.maxAliasNodes) {
                    report.error(line, column, L"M007",
                                 L"aliases expand to more than " + std::to_wstring(options.maxAliasNodes) + L" nodes");
                    return false;
                }
                // Within the node limit the walk is cheap; the bytes bound
                // what the texts cost once they are converted and copied
                // into the model, each use its own copy.
                aliasBytes += textBytes(found->second);
                if (aliasBytes > options.maxAliasBytes) {
                    report.error(line, column, L"M007",
                                 L"the alias *" + wide(reinterpret_cast<const char*>(ev.data.alias.anchor)) +
                                     L" takes what aliases expand to beyond " +
                                     std::to_wstring(options.maxAliasBytes) + L" bytes of text");
                    return false;
                }
                mAliased = true;
                attach(found->second);
                break;
            }
            default:  // stream start, document end
                break;
        }
    }
}

}  // namespace ky::metamodel::file::detail
