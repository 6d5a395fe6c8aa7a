// The plain tree a model file is read into before anything is checked.
//
// Every scalar's text lives in one buffer and every collection's children in
// one index array, so a node costs a few words and no allocation of its own:
// a file of hundreds of thousands of nodes is held in a handful of arrays.
// Each node keeps its line and column for diagnostics. A tree is built by one
// thread and then only read, except that it lets go of what is no longer
// read: the places once the checks are done, and, while the model is built
// class by class in file order, the parts before the entries still to come.
// The arrays are made of fixed blocks for that (and so never copy a block
// to grow): a block whose entries all lie before a mark can be freed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kymdlfilereport.h"

namespace ky::metamodel::file::detail {

enum class nodeKind : std::uint8_t { scalar, sequence, mapping };

// Two words, since a model file holds about one node for every ten bytes
// and the nodes stay while the model is built: a scalar's size is kept in 29
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

// An array of entries in blocks of `blockSize`, indexed as one; blocks
// wholly before a mark can be let go of (reading them after is an error).
template <class T>
class blockArray {
public:
    static constexpr std::uint32_t blockBits = 16;
    static constexpr std::uint32_t blockSize = 1u << blockBits;

    T& operator[](std::uint32_t i) { return mBlocks[i >> blockBits][i & (blockSize - 1)]; }
    const T& operator[](std::uint32_t i) const { return mBlocks[i >> blockBits][i & (blockSize - 1)]; }
    std::uint32_t size() const { return mSize; }
    void push_back(const T& value) {
        if ((mSize & (blockSize - 1)) == 0) mBlocks.push_back(std::make_unique<T[]>(blockSize));
        (*this)[mSize++] = value;
    }
    // Frees the blocks whose entries all lie before entry `mark`.
    void releaseBefore(std::uint32_t mark) {
        for (std::uint32_t b = 0; b < (mark >> blockBits) && b < mBlocks.size(); ++b) mBlocks[b].reset();
    }
    void clear() {
        mBlocks.clear();
        mSize = 0;
    }

private:
    std::vector<std::unique_ptr<T[]>> mBlocks;
    std::uint32_t mSize = 0;
};

class tree {
public:
    static constexpr std::uint32_t none = 0xffffffffu;

    // The root node; none for a file without a document.
    std::uint32_t root() const { return mRoot; }
    const node& at(std::uint32_t index) const { return mNodes[index]; }
    std::string_view text(const node& n) const {
        return n.size ? std::string_view(mText[n.first >> textBits].get() + (n.first & (textBlock - 1)), n.size)
                      : std::string_view();
    }
    // The i-th child of a collection (a mapping alternates key and value).
    const node& child(const node& n, std::uint32_t i) const { return mNodes[mKids[n.first + i]]; }
    // The index of that child.
    std::uint32_t childIndex(const node& n, std::uint32_t i) const { return mKids[n.first + i]; }
    std::size_t countNodes() const { return mNodes.size(); }
    // Where node `index` starts; no place (line 0) once the places are forgotten.
    place placeOf(std::uint32_t index) const { return index < mPlaces.size() ? mPlaces[index] : place{}; }
    // Lets go of the nodes' places: the build reads none, and they cost
    // as much as the nodes themselves.
    void forgetPlaces() { mPlaces.clear(); }
    // Lets go of what lies before the subtree of node `index` in the file:
    // nodes, children and text that only earlier entries use. Nothing when
    // the file has aliases, whose nodes may be shared with any later entry.
    void releaseBefore(std::uint32_t index);

    // Reads `input` with libyaml's event parser; false (with diagnostics
    // reported) when the text does not parse or breaks a limit.
    bool parse(std::string_view input, bool json, const loadOptions& options, reporter& report);

private:
    bool read(std::string_view input, bool json, const surrogateScan& scan, const loadOptions& options,
              reporter& report);
    // The bytes of scalar text in the subtree of `index`, shared nodes
    // counted each time they are reached.
    std::uint64_t textBytes(std::uint32_t index) const;
    // Appends a scalar's text and answers its offset; none when the
    // offsets would pass 4 GiB.
    std::uint32_t appendText(const unsigned char* bytes, std::size_t length);

    // The text is kept in blocks of textBlock bytes (a longer scalar gets a
    // block of its own size and the offsets of as many blocks); a scalar
    // never spans two blocks, so its text is one view. The offsets of a
    // file's text are at most twice its length; a file whose offsets pass
    // 4 GiB is refused as too large.
    static constexpr std::uint32_t textBits = 16;
    static constexpr std::uint32_t textBlock = 1u << textBits;

    blockArray<node> mNodes;
    blockArray<place> mPlaces;  // one for each node
    blockArray<std::uint32_t> mKids;
    std::vector<std::unique_ptr<char[]>> mText;  // every scalar's text, one after the other
    std::uint64_t mTextEnd = 0;                  // the offset of the next scalar's text
    bool mAliased = false;                       // an alias shares a node
    std::uint32_t mRoot = none;
};

}  // namespace ky::metamodel::file::detail
