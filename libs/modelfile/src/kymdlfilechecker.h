// The checker of a model file: one object that reads the tree into a
// description, resolves the names between classes, orders the classes and
// checks every part, collecting every diagnostic in one pass. Its work lives
// in three files: kymdlfileread.cpp reads the tree, kymdlfileorder.cpp
// resolves and orders the classes and answers where a field is found, and
// kymdlfilecheck.cpp holds the checks that need the whole model's names.
#pragma once

#include <string_view>
#include <unordered_map>
#include <vector>

#include "kymdlfiledesc.h"

namespace ky::metamodel::file::detail {

struct classFieldKey {
    std::uint32_t cls;
    ky::scString name;
    bool operator==(const classFieldKey& o) const { return cls == o.cls && name == o.name; }
};
struct classFieldHash {
    std::size_t operator()(const classFieldKey& k) const noexcept {
        return k.name.hash() * 31 + k.cls;
    }
};

// Own fields are looked up in their class's list while it is short, and in
// the hash map once a class has many (a file of few classes with very many
// fields would otherwise take quadratic time); the same for the keys of a
// value mapping and the bases of a class.
constexpr std::size_t shortList = 32;

// Reads and checks one model file's tree into a description.
class checker {
public:
    checker(const tree& t, reporter& report, const loadOptions& options)
        : mTree(t), mReport(report), mOptions(options) {}

    bool run(description& desc);

private:
    const node& at(std::uint32_t index) const { return mTree.at(index); }
    std::string_view text(std::uint32_t index) const { return mTree.text(at(index)); }
    place placeOf(std::uint32_t index) const { return mTree.placeOf(index); }
    void error(std::uint32_t index, const wchar_t* code, const ky::string& message,
               const ky::string& hint = ky::string()) {
        mReport.error(placeOf(index).line, placeOf(index).column, code, message, hint);
    }
    // Names the node at `index` as a place related to the error reported last.
    void relate(std::uint32_t index, const ky::string& message) {
        mReport.relate(placeOf(index).line, placeOf(index).column, message);
    }

    template <std::size_t N>
    void readKeys(std::uint32_t mapIndex, const std::array<const char*, N>& names, std::array<std::uint32_t, N>& slots,
                  const lazyText& where);
    bool expect(std::uint32_t index, nodeKind kind, const lazyText& what);
    bool readBool(std::uint32_t index, const lazyText& what);
    bool readName(std::uint32_t index, const lazyText& what, ky::string& out);
    // The interned name under the model's rule, folded in a buffer kept for
    // the next name.
    ky::scString keyOf(const ky::string& name) const {
        if (mDesc->caseSensitive) return ky::scString::createFrom(name);
        ky::string::lowerInto(name.data(), name.size(), mFold);
        return ky::scString::createFrom(mFold.data(), mFold.size());
    }
    std::uint32_t ownField(std::uint32_t cls, ky::scString key) const;
    bool addOwnField(std::uint32_t cls, ky::scString key, std::uint32_t at);
    std::uint32_t findClass(std::uint32_t nameIndex, const wchar_t* code, const lazyText& what);
    void readTextList(std::uint32_t index, const lazyText& what, bool names);
    // A list of item texts or {value, name} mappings (see readItem).
    void readItemList(std::uint32_t index, const lazyText& what);
    void readValueMap(std::uint32_t index, const lazyText& what, const wchar_t* const* reserved);

    void readRoot();
    void readClass(std::uint32_t index);
    void readField(classDesc& cls, std::uint32_t index);
    void readRelation(std::uint32_t index);

    void resolveClasses();
    void orderClasses();
    void checkFields(std::uint32_t cls);
    void checkOrdinaryField(fieldDesc& field, const lazyText& what);
    void checkSemantic(fieldDesc& field, const lazyText& what);
    bool inherited(std::uint32_t cls, ky::scString name, std::uint32_t* owner) const;
    bool findField(std::uint32_t cls, ky::scString name, std::uint32_t* owner) const;
    // The hints of unknown names: the nearest class, or field of `cls` (own or inherited).
    ky::string classSuggestion(const ky::string& name);
    ky::string fieldSuggestion(std::uint32_t cls, const ky::string& name);
    bool derivesFrom(std::uint32_t cls, std::uint32_t base) const;
    template <class Stop>
    std::uint32_t walkBases(std::uint32_t cls, const Stop& stop) const;
    void checkRelation(relationDesc& rel);

    ky::string className(std::uint32_t cls) const {
        return mDesc->classes[cls].slots[cName] == none ? ky::string(L"#") + std::to_wstring(cls + 1)
                                                         : wideText(mTree, mDesc->classes[cls].slots[cName]);
    }

    const tree& mTree;
    reporter& mReport;
    const loadOptions& mOptions;
    description* mDesc = nullptr;
    std::unordered_map<ky::scString, std::uint32_t> mClassIndex;
    // Own fields of each class (copies expanded), to where they stand.
    std::unordered_map<classFieldKey, std::uint32_t, classFieldHash> mOwnFields;
    // Text buffers reused from name to name.
    mutable std::wstring mFold;
    ky::string mName, mEntry;
    std::size_t mSuggestionBudget = suggestionBudget;  // what suggestion() may still compare
    std::vector<ky::string> mClassNames;               // the names of the classes, made for the first suggestion
    // What each type string read as, by its text in the tree.
    struct typeRead {
        bool read;
        eFieldType type;
        unsigned long length;
    };
    std::unordered_map<std::string_view, typeRead> mTypes;
    // The walks through the bases: a stamp per class marks those visited.
    mutable std::vector<std::uint32_t> mVisited;
    mutable std::uint32_t mVisitStamp = 0;
    mutable std::vector<std::uint32_t> mWalk;
};

}  // namespace ky::metamodel::file::detail
