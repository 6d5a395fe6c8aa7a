// Where a load says each element of the file is defined, for hosts that
// place findings of their own about the model.
#include "modelfile_support.h"

namespace kyfiletest {
namespace {

const char* const model = R"(classes:
  - name: Party
    fields:
      - { name: id, type: int, semantic: primkey }
  - name: Customer
    bases: [Party]
    fields:
      - name: limit
        type: double
relations:
  - { class: Customer, field: id, kind: ref, target: Party, name: Self }
)";

file::loadResult loadWithPlaces() {
    file::loadOptions options;
    options.recordPlaces = true;
    return file::loadModelText(model, L"m.yaml", options);
}

TEST(Places, AreLeftEmptyUnlessAsked) { EXPECT_TRUE(file::loadModelText(model, L"m.yaml").places.empty()); }

TEST(Places, GiveAClassAtItsName) {
    const file::loadResult result = loadWithPlaces();
    ASSERT_EQ(result.places.count(L"customer"), 1u);
    EXPECT_EQ(result.places.at(L"customer").line, 5u);
    EXPECT_EQ(result.places.at(L"customer").column, 11u);
}

TEST(Places, GiveAFieldAtItsNameUnderItsOwnClass) {
    const file::loadResult result = loadWithPlaces();
    ASSERT_EQ(result.places.count(L"customer.limit"), 1u);
    EXPECT_EQ(result.places.at(L"customer.limit").line, 8u);
    EXPECT_EQ(result.places.count(L"customer.id"), 0u);  // inherited: only party.id
    EXPECT_EQ(result.places.at(L"party.id").line, 4u);
}

TEST(Places, GiveARelationAtItsEntry) {
    const file::loadResult result = loadWithPlaces();
    ASSERT_EQ(result.places.count(L"customer.Self"), 1u);
    EXPECT_EQ(result.places.at(L"customer.Self").line, 11u);
}

}  // namespace
}  // namespace kyfiletest
