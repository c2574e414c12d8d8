// Failure trees: the result trees that stand for an internal error met while
// building them, raised only when something reads them.
//
// A failure tree is one xml::FailureNode holding the text of an internal
// error ("combineAndBest: second tree root is a text node"). A failure
// absorbs whatever is built over it: a join, a wrapping parent or a stamp of
// a failure is the failure itself, so a failure is only ever the whole tree of
// an entry, never a part of one. Whoever reads a result tree for its content
// (the result printer, the variable binding, the match removal, setLabel)
// checks its root with throwIfDeferredFailure first, so the error fires
// exactly when such a tree is used and never in a run that reads no tree (a
// count); every reader of node labels and every printer raises the same
// message if it meets one anyway.
#pragma once

#include <string>
#include <string_view>

#include "xml/XML.h"

namespace axf::query {

const xml::Tree* makeDeferredFailure(std::string_view message);
bool isDeferredFailure(const xml::Tree* t);
// Throws axf::InternalError with the tree's error text if t is a failure tree.
void throwIfDeferredFailure(const xml::Tree* t);

// The kind of a tree's root as a failure text names it ("an element", "a text
// node", ...; "missing" for no tree).
const char* rootKindText(const xml::Tree* t);

}  // namespace axf::query
