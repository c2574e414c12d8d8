// Labels of document nodes: the label a node is filed under in the mapping,
// and the lookup of a node's label by its position.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "index/Mapping.h"

namespace axf::index {

// The document label of a node: its name or text, with every '^' and '\'
// preceded by a backslash, then '^' and the position.
std::string documentLabel(std::string_view value, std::int64_t position);

// The label of the node at a position. A position that numbers no node
// throws InternalError.
std::string_view getMapName(std::int64_t position, const Mapping& mapping);

// The value of the first pair whose key equals the given key. An absent key
// throws InternalError.
template <class K, class V>
const V& getMapName(const K& key, const std::vector<std::pair<K, V>>& pairs) {
    for (const auto& p : pairs)
        if (p.first == key) return p.second;
    throw InternalError("getMapName: key not in the mapping");
}

}  // namespace axf::index
