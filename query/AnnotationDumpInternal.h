// Internal: for this folder and its tests. The pairs of an annotation's lists
// as AnnotationDump writes them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "common/Output.h"

namespace axf::query {

// "(key, value) ", both raw, no newline.
void dumpTextPair(const std::pair<std::string, std::string>& pair, Sink& out);
// "(key, value) " with the value in its printed form (a number in decimal, a
// text quoted and escaped), no newline.
void dumpCostPair(const std::pair<std::string, std::int64_t>& pair, Sink& out);
void dumpCostPair(const std::pair<std::string, std::string>& pair, Sink& out);

}  // namespace axf::query
