// Text preparation: before a document is walked, its newlines and tabs are
// removed from character data, CDATA sections and comments, and turned into
// one blank each inside markup. The walk reads the prepared text; a failure
// names its place by the byte offset in the original text.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "index/SourcePosition.h"

namespace axf::index {

// The document text with its newlines and tabs removed from character data,
// CDATA sections and comments, and turned into one blank each inside markup
// (tags, the document-type line and processing instructions, from '<' to the
// '>' that closes them, quoted literals respected).
std::string removeLineBreaksAndTabs(std::string_view text);
// The same, telling the record what it removes and turns into blanks.
std::string removeLineBreaksAndTabs(std::string_view text, PreparationRecord& record);

// The offset in the text of the byte that stands at the given offset of
// removeLineBreaksAndTabs(text); the text's length when that is past its end.
std::size_t originalOffset(std::string_view text, std::size_t preparedOffset);

// True when the text holds only blanks, newlines and tabs (the empty text too).
bool isBlankText(std::string_view text);

// Told from time to time that the prepared bytes before k will not be read
// again, so that their storage can go back to the system.
using ReadProgress = std::function<void(std::size_t)>;
// `places` tells the prepared text's offsets in the user's terms: the
// offset in the original text, and the document's name, line and column.
using PreparedTextUse = std::function<void(std::string_view prepared, const PreparedPlaces& places, const ReadProgress& done)>;

// Prepares a copy of the text in storage of its own (neither cleared first
// nor kept past the call) and hands it to `use`.
void withPreparedCopy(std::string_view text, const DocumentOrigin& origin, const PreparedTextUse& use);
// Prepares the text in its own storage, which is taken, hands it to `use`,
// and frees it once `use` returns.
void withPreparedInPlace(std::string&& text, const DocumentOrigin& origin, const PreparedTextUse& use);

}  // namespace axf::index
