// Internal: for this folder and its tests. The names of the token kinds, as
// the printed form of a token (XMLScanner.h's showAt) begins.
#pragma once

#include "xml/XMLScanner.h"

namespace axf::xml {

// The kind's name ("STAGO", "NAME", ...).
const char* delimKindName(DelimKind k);

}  // namespace axf::xml
