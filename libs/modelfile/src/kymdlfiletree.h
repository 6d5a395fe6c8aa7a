// The plain tree a model file is read into before anything is checked.
//
// Every scalar's text lives in one buffer and every collection's children in
// one index array, so a node costs a few words and no allocation of its own:
// a file of hundreds of thousands of nodes is held in a handful of vectors.
// Each node keeps its line and column for diagnostics. A tree is built by one
// thread and then only read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kymdlfilereport.h"

namespace ky::metamodel::file::detail {

enum class nodeKind : std::uint8_t { scalar, sequence, mapping };

// Two words, since a model file holds about one node for every ten bytes
// and the nodes stay until the model is built: a scalar's size is kept in 29
// bits (a longer scalar is refused) beside the kind and the plain mark. The
// nodes' places in the file are kept apart from them (see place), so that
// the tree can let go of them once the checks are done.
struct node {
    std::uint32_t first = 0;  // scalar: offset into the text buffer; collection: into the child array
    std::uint32_t size : 29 = 0;  // scalar: bytes of text; sequence: items; mapping: keys and values
    nodeKind kind : 2 = nodeKind::scalar;
    bool plain : 1 = false;   // a plain (unquoted) scalar
};
static_assert(sizeof(node) == 8);

// Where a node starts in the file.
struct place {
    std::uint32_t line = 0;   // 1-based; 0 for no place
    std::uint32_t column = 0; // 1-based
};
// The longest scalar a node can hold.
constexpr std::size_t maxScalarBytes = (std::size_t(1) << 29) - 1;

// What a JSON text's surrogate escapes gave when they were read ahead of the
// parser (JSON spells a character beyond U+FFFF as a pair of escapes).
struct surrogateScan {
    std::string mended;                         // the text to read instead; empty when nothing was mended
    std::size_t lone = std::string_view::npos;  // byte offset of the first unpaired surrogate escape
};

class tree {
public:
    static constexpr std::uint32_t none = 0xffffffffu;

    // The root node; none for a file without a document.
    std::uint32_t root() const { return mRoot; }
    const node& at(std::uint32_t index) const { return mNodes[index]; }
    std::string_view text(const node& n) const { return {mText.data() + n.first, n.size}; }
    // The i-th child of a collection (a mapping alternates key and value).
    const node& child(const node& n, std::uint32_t i) const { return mNodes[mKids[n.first + i]]; }
    // The index of that child.
    std::uint32_t childIndex(const node& n, std::uint32_t i) const { return mKids[n.first + i]; }
    std::size_t countNodes() const { return mNodes.size(); }
    // Where node `index` starts; no place (line 0) once the places are forgotten.
    place placeOf(std::uint32_t index) const { return index < mPlaces.size() ? mPlaces[index] : place{}; }
    // Lets go of the nodes' places: what the build reads needs none, and
    // they are a third of the tree.
    void forgetPlaces() { std::vector<place>().swap(mPlaces); }

    // Reads `input` with libyaml's event parser; false (with diagnostics
    // reported) when the text does not parse or breaks a limit.
    bool parse(std::string_view input, bool json, const loadOptions& options, reporter& report);

private:
    bool read(std::string_view input, bool json, const surrogateScan& scan, const loadOptions& options,
              reporter& report);
    // The bytes of scalar text in the subtree of `index`, shared nodes
    // counted each time they are reached.
    std::uint64_t textBytes(std::uint32_t index) const;
    void appendText(const unsigned char* bytes, std::size_t length);

    std::vector<node> mNodes;
    std::vector<place> mPlaces;  // one for each node
    std::vector<std::uint32_t> mKids;
    std::vector<char> mText;  // every scalar's text, one after the other
    std::uint32_t mRoot = none;
};

}  // namespace ky::metamodel::file::detail
