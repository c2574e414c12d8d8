// The indented XML printer: one printer of trees as XML text, shared by the
// indexer's dumps (raw text, optionally without layout) and the printer of
// result documents (escaped text, always laid out).
//
// Layout: 3 blanks per level and a newline after every line. An element
// whose only child is a text leaf stands on one line when
// 3 * level + 2 * (length of its name) + (length of the text) + 5 is at most
// maxLengthElement (attributes not counted, the text measured unescaped),
// else on three lines. An RTNode prints as the element "Result" at level 0;
// comments and entity references print as their text or name. The walk keeps
// the open elements on its own stack: any depth prints.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Output.h"
#include "xml/XML.h"

namespace axf::xml {

inline constexpr std::int64_t indentWidth = 3;  // blanks per level
inline constexpr std::int64_t maxLengthElement = 80;

struct XMLPrintOptions {
    bool layout = true;       // indentation and a newline after every line
    bool resultNames = true;  // the result roots' output names (printedName)
    bool escaped = false;     // markup characters in texts and attribute values escaped
    // Called on every node before anything of it is written; it may throw
    // to refuse the node.
    void (*checkNode)(const Tree*) = nullptr;
};

// The name under which an element is printed: with resultNames, "0000" is
// written "Results" and "and", "or", "xor" "ResultQuery" (whole labels
// only); everything else unchanged.
std::string_view printedName(std::string_view label, bool resultNames);

// ' ', the name, '=', the value in double quotes (escaped or raw): '&', '<',
// '"' escaped in values.
void writeAttribute(const Attribute& attribute, bool escaped, Sink& sink);

// The whole tree, its root at the given level.
void writeIndentedXML(std::int64_t level, const XMLPrintOptions& options, const Tree* tree, Sink& sink);

// Pieces of the printer, for printers of documents whose children are
// produced one at a time. An element's name is printed through printedName.
void writeStartTag(std::int64_t level, const XMLPrintOptions& options, const ELNode& el, bool empty, Sink& sink);
void writeEndTag(std::int64_t level, const XMLPrintOptions& options, std::string_view name, Sink& sink);
// An element whose only child is the given text (one line or three lines).
void writeTextElement(std::int64_t level, const XMLPrintOptions& options, const ELNode& el, std::string_view text, Sink& sink);
// A text leaf on a line of its own.
void writeTextLine(std::int64_t level, const XMLPrintOptions& options, std::string_view text, Sink& sink);

}  // namespace axf::xml
