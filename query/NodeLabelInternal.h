// Internal: for this folder and its tests. A step of the label writing that
// the tests check alone.
#pragma once

#include <string>

#include "xml/XML.h"

namespace axf::query {

// No tree for no children; otherwise one element named by the label, with no
// attributes, over the children.
xml::TreeList wrapChildren(const std::string& label, const xml::TreeList& children);

}  // namespace axf::query
