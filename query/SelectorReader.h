// The selector of a query label: "name[k]" asks, below each parent match, for
// the k-th of the cheapest matches of the name ("name[last]" for the last).
// The reader splits a label into its name and branch number; the parts that
// only this reader and the tests use are in EmbeddingInternal.h.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace axf::query {

// (name, branch number) of a query label; 0 without selector. A selector
// reading as 0 is the inconsistent-branch Fatal; a label whose text after the
// first '[' does not end in ']' is a Fatal naming the tag; the selector
// messages of branchNumber (EmbeddingInternal.h).
std::pair<std::string, std::int64_t> nameAndBranch(std::string_view label);

// Whether searching a node of this label may fail on what the document
// holds: a selector that does not read (any read fails) or asks for the k-th
// match with k >= 2. The first and the last of the cheapest matches below a
// parent match are there whenever that parent match has any.
bool selectorCanFail(std::string_view label);

}  // namespace axf::query
