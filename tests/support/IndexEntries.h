// Readers of index entries and document trees shared by the index tests:
// the positions of an entry list, the keys of an index in their order, and
// the label of an element or text node.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "index/ElementIndex.h"
#include "xml/XML.h"

namespace axf::testindex {

inline std::vector<std::int64_t> positions(const index::EntryList& list) {
    std::vector<std::int64_t> out;
    for (const auto& e : list) out.push_back(e.position);
    return out;
}

inline std::vector<std::string> keys(const index::Index& index) {
    std::vector<std::string> out;
    for (const auto& e : index.entries()) out.emplace_back(e.key);
    return out;
}

// An element's name, a text's text, "?" for any other node.
inline std::string label(const xml::Tree* t) {
    if (auto* el = std::get_if<xml::ELNode>(&t->value)) return el->name;
    if (auto* tx = std::get_if<xml::TXNode>(&t->value)) return tx->text;
    return "?";
}

}  // namespace axf::testindex
