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

// Escapers and the attribute text (" name=\"value\"" per pair), appended to out.
void escapeText(std::string_view text, std::string& out);
void escapeAttValue(std::string_view value, std::string& out);
void showAttributes(const AttList& atts, std::string& out);
void showAttributes(const LazyAttList& atts, std::string& out);

// The text of one event, appended to out (throws axf::Fatal for an ErrorEvent).
void showEventTo(const XMLEvent& event, std::string& out);
std::string showEvent(const XMLEvent& event);
// The texts of the events, in order, with nothing between them.
std::string showEvents(const std::vector<XMLEvent>& events);
std::string showEvents(const EventPull& events);
// The same on standard output (axf::out()); nothing after the last event.
void printEvent(const XMLEvent& event);
void printEvents(const std::vector<XMLEvent>& events);
void printEvents(const EventPull& events);
// The same into a sink, each event's text passed on before the next event is
// taken.
void writeEvents(axf::Sink& sink, const EventPull& events);

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
