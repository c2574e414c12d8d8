// Internal: for this folder and its tests. The place of a byte counted in the
// text itself, which SourcePosition.h's positions fall back on.
#pragma once

#include <cstddef>
#include <string_view>

#include "index/SourcePosition.h"

namespace axf::index {

// The place of the byte at `offset` of a text at hand (its length: just past
// its last byte). Reads the text up to the offset.
TextPlace placeInText(std::string_view text, std::size_t offset, const DocumentOrigin& origin);

}  // namespace axf::index
