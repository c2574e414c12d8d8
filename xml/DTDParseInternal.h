// Internal: for this folder and its tests. The pieces of the declaration
// grammar (DTDParse.h), each built once, on first use.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/Lazy.h"
#include "xml/DTD.h"
#include "xml/DTDParse.h"
#include "xml/XMLParse.h"

namespace axf::xml {

// A declaration set with one declaration applied.
using DTDUpdate = std::function<DTD(DTD)>;

// An occurrence indicator: wraps a content model in Plus, Rep or Opt, or
// leaves it as it is.
using Occurrence = ContentModel (*)(ContentModel);

// A data attribute of an external data entity: (name, value). Read and
// dropped; the value is never expanded.
using DataAttribute = std::pair<std::string, axf::Lazy<std::string>>;

// ---- name groups and content models ------------------------------------------

// "(" name, further names joined by one kind of connector (",", "|" or "&"),
// ")": the names in order. Only names; the first connector fixes the group's.
const XP<std::vector<std::string>>& pNameGroup();
// One name (as a one-element list) or a name group.
const XP<std::vector<std::string>>& pNameOrGroup();
// "+", "*" or "?" after a content unit, or nothing; never fails.
const XP<Occurrence>& pOccurrence();
// A name, "#PCDATA" or a group of content models joined by one kind of
// connector, then an occurrence indicator. A group of one member is that
// member. Nested groups are read in a loop, so any depth parses on any
// stack.
const XP<ContentModel>& pContentModel();
// "EMPTY", "ANY", or a content model.
const XP<CONTYPE>& pDeclaredContent();

// ---- declarations (the part after the keyword, up to the closing ">") --------

// "O" (true: may be omitted) or "-" (false).
const XP<bool>& pOmissionFlag();
// Names, optional pair of omission flags, declared content, optional
// exclusion group after "-", optional inclusion group after "+".
const XP<DTDUpdate>& pElementDecl();

// CDATA, ID, IDREF(S), ENTITY, ENTITIES, NMTOKEN(S), NOTATION with a name
// group, an enumeration (a name group), and NAME(S), NUMBER(S), NUTOKEN(S)
// read as NMTOKEN(S).
const XP<ATT_TYPE>& pDeclaredValue();
// #IMPLIED, #REQUIRED, #FIXED with a value, a value, #CURRENT, #CONREF. A
// value is a literal (references expanded when first read) or a name.
const XP<ATT_DV>& pDefaultValue();
// Name, declared value, default value.
const XP<ATTDEF>& pAttDef();

// A literal (internal, kept as written), or an external identifier followed
// by an entity type (external; the type is required but not kept).
const XP<EntityText>& pEntityText();
// SUBDOC, or CDATA / SDATA / NDATA followed by a notation name and data
// attributes.
const XP<ENTTYPE>& pEntityType();
// "[" data attributes "]".
const XP<std::vector<DataAttribute>>& pDataAttributes();
// Name "=" value.
const XP<DataAttribute>& pDataAttribute();
// "%" name entity-text (a parameter entity), or name entity-text.
const XP<DTDUpdate>& pEntityDecl();

}  // namespace axf::xml
