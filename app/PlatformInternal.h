// Internal: for this folder and its tests. The steps of readDocumentFile
// (Platform.h).
#pragma once

#include <string>

namespace axf::app {

// Drops every carriage return that directly precedes a line feed.
std::string dropCarriageReturns(std::string text);

}  // namespace axf::app
