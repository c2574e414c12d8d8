// The equality-only form is a set of templates over the element type; see
// ParsePolyRegexpBasic.h.
#include "regex/ParsePolyRegexpBasic.h"
