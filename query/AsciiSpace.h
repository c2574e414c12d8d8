// Internal: for this folder and its tests. The blanks that a number read from
// a selector or a label may have around it: space and \t..\r. Not the space
// class of common/ByteClass.h, which also holds the no-break space (160).
#pragma once

namespace axf::query {

inline bool isAsciiSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace axf::query
