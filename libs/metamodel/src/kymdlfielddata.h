// The private data record of fieldInfo, shared by the files that implement
// the field (core, types, semantics, values, copy).
#pragma once

#include <kygeneric.h>
#include <kyrefptr.h>
#include <kyscstring.h>
#include <kystring.h>

#include <kymdlclassinfo.h>
#include <kymdlenums.h>
#include <kymdlfieldinfo.h>

#include "kymdlannotations.h"

namespace ky::metamodel {

struct fieldInfo::data {
    ky::refPtr<ky::metamodel::classInfo> owner;  // emptied by releaseInfo
    ky::refPtr<fieldInfo> source;                // the field this one stands for; fixed
    ky::scString name;                           // own name; empty for a referring field
    ky::string label;
    ky::string unit;
    eFieldType type;                             // own copy; only setSemantic narrows it
    ky::scString customTypeString;
    ky::genericSet typeAttribs;                  // the host's keys; only the length is read here
    int flags = 0;                               // 1 mandatory, 2 unique, 4 auto, 8 constant
    eFieldSemantics semantic = eSemNone;
    ky::scString customSemantic;                 // written only for eSemCustom
    ky::genericSet semanticAttribs;
    ky::genericSet internal;                     // "Alias", expressions, values
    detail::userProperties userProps;            // own and inheritable user properties
    bool typeDefaultStored = false;              // the stored default is the type's, filled in by a field copy

    // The record of the source field; null for an ordinary field.
    const data* sourceRecord() const noexcept { return source ? source.get()->d : nullptr; }
    // The record at the end of the source chain: this one for an ordinary field.
    const data& chainEnd() const noexcept {
        const data* last = this;
        while (const data* next = last->sourceRecord()) last = next;
        return *last;
    }
};

}  // namespace ky::metamodel
