// Internal: for this folder and its tests. Grammar pieces of the event parser
// (XMLParse.h) and its run over a hand-made token list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "xml/XMLParse.h"

namespace axf::xml {

// One event of the document instance.
const XP<XMLEvent>& pEvent();
// A comment in content: MDOCOM, text pieces, COM, MDC.
const XP<std::string>& pComment();
// Splits the content of a processing instruction into (target, text).
PIValue splitPI(std::string_view content);

// The events of a hand-made token list without prolog (offsets are token
// indices).
DocumentEvents parseInstanceTokens(std::vector<Delimiter> tokens);

}  // namespace axf::xml
