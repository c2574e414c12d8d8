// Attribute elements: the elements of a result that stand for attributes of
// their parent, and the reconversion of result trees that turns them back.
//
// The rule (standsForAttribute) is read in three places, each on its own form
// of the tree: result trees here, cut subtrees of a variable binding
// (filter/VariableBinding.cpp) and the document left after a removal
// (app/ResultPrinter.cpp).
#pragma once

#include <cstdint>
#include <string_view>

#include "xml/XML.h"

namespace axf::query {

// What lies below an element, as the attribute rule reads it.
enum class AttributeValueShape : std::uint8_t {
    Nothing,  // no child: the attribute's value is blank
    OneText,  // one childless text: the attribute's value
    Other,    // anything else: the element stays an element
};

// The rule: an element without attributes of its own whose name starts with
// '@', over nothing or over one childless text, stands for the attribute
// named by the rest of its name. `below()` tells what lies below the element;
// it is called only when the name qualifies.
template <class Below>
bool standsForAttribute(std::string_view elementName, Below below) {
    return !elementName.empty() && elementName.front() == '@' && below() != AttributeValueShape::Other;
}

// Every child element that stands for an attribute becomes an attribute of
// its parent (name without the '@'), in child order, at every level. The root
// is never converted. Anything else is kept as it is: an '@' element with
// several children, or whose single child is not a childless text, stays an
// element; nodes of other kinds are kept unchanged.
const xml::Tree* restoreAttributes(const xml::Tree* tree);

}  // namespace axf::query
