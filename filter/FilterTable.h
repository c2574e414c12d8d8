// The LALR(1) automaton of the filter grammar, generated from
// tools/lalr/filter.grammar into FilterTable.cpp.
#pragma once

#include "filter/LRTable.h"

namespace axf::filter {

extern const LRTable filterTable;

}  // namespace axf::filter
