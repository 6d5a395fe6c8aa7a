// A generated model of any size, built through the public API: `classes`
// classes of `fields` fields each. Field 0 is the primary key "id"; the
// others cycle through strings with a length, ints, doubles with a unit,
// dates and (every seventh field) enumerations of three items; the last
// field "next" refers to the following class (the last class to the first).
// Every class and field has a label. Used by the round-trip tests and by
// bench/model_file.cpp.
#pragma once

#include <kymetamodel.h>

#include <string>
#include <vector>

namespace kygen {

using namespace ky::metamodel;

inline ky::string className(int i) { return ky::string::sformat(L"Class%05d", i); }

inline void buildGeneratedModel(const refPtr<modelInfo>& model, int classes, int fields) {
    const ky::scString lengthKey = ky::scString::createFrom(keys::length);
    const ky::scString itemsKey = ky::scString::createFrom(keys::enumItems);
    std::vector<refPtr<classInfo>> made;
    made.reserve(static_cast<std::size_t>(classes));
    for (int c = 0; c < classes; ++c) {
        refPtr<classInfo> cls = model->createClassInfo(className(c), false);
        cls->setLabel(ky::string::sformat(L"Generated class %d", c));
        refPtr<fieldInfo> id = cls->createFieldInfo(L"id", eInt, ky::genericSet(), L"");
        id->setLabel(L"Number");
        id->setSemantic(eSemPrimkey, ky::genericSet(), L"");
        for (int f = 1; f + 1 < fields; ++f) {
            const ky::string name = ky::string::sformat(L"field%02d", f);
            const ky::string label = ky::string::sformat(L"Field %d of class %d", f, c);
            refPtr<fieldInfo> field;
            if (f % 7 == 0) {
                field = cls->createFieldInfo(name, eInt, ky::genericSet(), L"");
                std::vector<enumItem> items;
                for (int k = 1; k <= 3; ++k) {
                    enumItem item;
                    fieldInfo::parseEnumItem(ky::string::sformat(L"%d, Choice %d", k, k), eInt, item);
                    items.push_back(item);
                }
                ky::genericSet attribs;
                attribs.setValue(itemsKey, items, true);
                field->setSemantic(eSemEnum, attribs, L"");
            } else if (f % 4 == 1) {
                ky::genericSet attribs;
                attribs.setValue(lengthKey, 20 + f, true);
                field = cls->createFieldInfo(name, eString, attribs, L"");
            } else if (f % 4 == 2) {
                field = cls->createFieldInfo(name, eInt, ky::genericSet(), L"");
            } else if (f % 4 == 3) {
                field = cls->createFieldInfo(name, eDouble, ky::genericSet(), L"");
                field->setUnit(L"EUR");
            } else {
                field = cls->createFieldInfo(name, eDate, ky::genericSet(), L"");
            }
            field->setLabel(label);
        }
        cls->createFieldInfo(L"next", eInt, ky::genericSet(), L"")->setLabel(L"Next");
        made.push_back(cls);
    }
    for (int c = 0; c < classes; ++c)
        made[static_cast<std::size_t>(c)]->createRelation(L"next", false,
                                                          made[static_cast<std::size_t>((c + 1) % classes)], eRef,
                                                          L"", L"");
}

}  // namespace kygen
