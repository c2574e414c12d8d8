// Internal: for this folder and its tests. How the event walk (EventWalk.h)
// turns a tag's attributes into the events of attribute elements.
#pragma once

#include <vector>

#include "index/EventWalk.h"
#include "xml/XMLParse.h"

namespace axf::index {

// For each attribute, in order, a start event "@" + name (no attributes), a
// text event with the value and an end event with the name; then the given
// events. Reads every value.
std::vector<xml::XMLEvent> attrs(const xml::LazyAttList& attributes, std::vector<xml::XMLEvent> events);

}  // namespace axf::index
