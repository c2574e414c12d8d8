// The text index of a document: every text node filed under its whole text.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "common/Lazy.h"
#include "index/DocumentTree.h"
#include "index/ElementIndex.h"

namespace axf::index {

// The text index of a document, made when first read from the nodes of its
// walk: every text is filed under itself, in position order, keys in the
// order of their first text. Queries that name
// no text never make it. Copies share one index.
class TextIndex {
public:
    TextIndex();
    TextIndex(Index built);  // NOLINT: an index made elsewhere stands for itself
    explicit TextIndex(const DocumentTree& nodes);

    const Index& get() const { return index_.get(); }
    operator const Index&() const { return get(); }  // NOLINT
    const std::vector<IndexEntry>& entries() const { return get().entries(); }
    std::size_t size() const { return get().size(); }
    bool empty() const { return get().empty(); }
    const IndexEntry* find(std::string_view key) const { return get().find(key); }
    bool isMade() const { return index_.isComputed(); }

private:
    axf::Lazy<Index> index_;
};

}  // namespace axf::index
