// The declaration grammar: turns a document type definition (element,
// attribute-list, entity and notation declarations, with comments,
// processing instructions and parameter-entity references between them) into
// a declaration set `DTD`.
//
// The text is scanned in declaration mode and read one item at a time. Each
// declaration parser yields a DTDUpdate, the declaration set with that one
// declaration applied; parseDTD applies them in order, starting from
// emptyDTD(). The first item that does not parse ends the text silently:
// what follows it is never scanned.
//
// The parsers are written on the combinators of DetParser.h over the token
// parsers of XMLParse.h, and are built once, on first use. Keywords match a
// NAME token (reserved names: an RNINAME token) of exactly that spelling,
// case included.
#pragma once

#include <string_view>

#include "xml/DTD.h"

namespace axf::xml {

// The declaration set of a declaration text: the items from the start of
// the text up to the first that does not parse, applied in order to
// emptyDTD(). Never fails.
DTD parseDTD(std::string_view text);

}  // namespace axf::xml
