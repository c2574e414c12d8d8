// XML text output of events and trees: no declaration, no indentation; the
// only line break is the line feed inside every end tag, before its ">"
// ("</a\n>"). Texts escape & < >, attribute values also " and ' (values are
// always written in double quotes); names, PI targets and texts, comment
// texts and entity names are written as they are.
//
// The tree printer writes an element without children as "<a/>"; printXML,
// which prints the events of serializeTree, writes it as "<a></a\n>".
// All walks are iterative. An ErrorEvent ends the run with its message when
// the output reaches it; what came before it has been written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/Output.h"
#include "xml/XML.h"
#include "xml/XMLParse.h"
#include "xml/XMLTree.h"

namespace axf::xml {

// The text of one event (throws axf::Fatal for an ErrorEvent).
std::string showEvent(const XMLEvent& event);
// The texts of the events, in order, with nothing between them.
std::string showEvents(const std::vector<XMLEvent>& events);
std::string showEvents(const EventPull& events);
// The same on standard output (axf::out()); nothing after the last event.
void printEvent(const XMLEvent& event);
void printEvents(const std::vector<XMLEvent>& events);
void printEvents(const EventPull& events);

// The text of a tree. writeXML passes what it has written to the sink before
// a failure of a tree built on request reaches the caller.
std::string showXML(const Tree* tree);
std::string showXML(const LazyTree& tree);
void writeXML(axf::Sink& sink, const Tree* tree);
void writeXML(axf::Sink& sink, const LazyTree& tree);
// printEvents of serializeTree of the tree.
void printXML(const Tree* tree);
void printXML(const LazyTree& tree);

}  // namespace axf::xml
