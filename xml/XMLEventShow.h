// The constructor notation of events: the print form (the constructor word
// and its fields, "StartEvent \"a\" [(\"x\",\"1\")]", parenthesised at
// precedence 11 or more) and its reader, and the print form of UNPARSED.
//
// The shows* operations append the form to `out`: the following text is
// whatever the caller puts after it.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xml/XMLParse.h"

namespace axf::xml {

// A wrapper around one text; it only has a print form.
struct UNPARSED {
    std::string text;
};

void showsEventPrec(int prec, const XMLEvent& event, std::string& out);
// "[]", or "[" the events at precedence 0 separated by "," "]".
void showsEventList(const std::vector<XMLEvent>& events, std::string& out);
void showsUnparsedPrec(int prec, const UNPARSED& value, std::string& out);
void showsUnparsedList(const std::vector<UNPARSED>& values, std::string& out);

// The printed-form hooks (showText, showListText, lists of events).
inline void showAt(int prec, const XMLEvent& event, std::string& out) { showsEventPrec(prec, event, out); }
inline void showAt(int prec, const UNPARSED& value, std::string& out) { showsUnparsedPrec(prec, value, out); }

// Every reading of one event from the start of the text, with the text
// after its last token (white space after it not consumed); empty when the
// text does not fit. At precedence 11 or more the event must stand in
// parentheses. White space (9..13, 32, 160) may stand before every token.
std::vector<std::pair<XMLEvent, std::string_view>> readsEventPrec(int prec, std::string_view text);
// Every reading of a list of events ("[" events "," ... "]", each at
// precedence 0) from the start of the text.
std::vector<std::pair<std::vector<XMLEvent>, std::string_view>> readsEventList(std::string_view text);

}  // namespace axf::xml
