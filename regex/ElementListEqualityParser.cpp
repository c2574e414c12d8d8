// The equality-only form is a set of templates over the element type; see
// ElementListEqualityParser.h.
#include "regex/ElementListEqualityParser.h"
