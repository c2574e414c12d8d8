// The direct walk: the walk of a whole prepared document that reads the
// common constructs straight from the text and leaves the rest to the event
// parser.
#pragma once

#include <string_view>

#include "index/EventWalk.h"
#include "index/TextPreparation.h"

namespace axf::index {

// The walk of a whole document: `prepared` is removeLineBreaksAndTabs(original).
// The common constructs are read straight from the text; from the first
// construct out of the ordinary on (or from the start, for an unusual
// prolog) the event parser's events are walked. The result, and every
// failure, is that of walking the events of parseDocument(prepared): events
// that stop before the end of the text throw Fatal with the byte offset in
// `original` and what stands there.
BuildResult buildIndexesDirect(std::string_view prepared, std::string_view original);
// The same, with the offsets in the original text and the places of the
// messages given by `places`, and done, when given, told from time to time
// how far the text has been read. A name outside the vocabulary gets its
// place (BuildResult::unknownNamePlace) here, while the text is at hand.
BuildResult buildIndexesDirect(std::string_view prepared, const PreparedPlaces& places, ReadProgress done);

}  // namespace axf::index
