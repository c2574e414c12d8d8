// Internal: for this folder and its tests. The text a failure tree holds,
// read without raising it.
#pragma once

#include <string>

#include "xml/XML.h"

namespace axf::query {

// The error text of a failure tree; empty for any other tree.
std::string deferredFailureText(const xml::Tree* t);

}  // namespace axf::query
