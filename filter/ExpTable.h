// The LALR(1) automaton of the expression grammar of conditions, generated
// from tools/lalr/exp.grammar into ExpTable.cpp.
#pragma once

#include "filter/LRTable.h"

namespace axf::filter {

extern const LRTable expTable;

}  // namespace axf::filter
