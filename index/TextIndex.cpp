#include "index/TextIndex.h"

#include <cstdint>
#include <string>

#include "xml/Arena.h"

namespace axf::index {

namespace {

// The text index of a walk's nodes: every text filed under itself, in position order, keys in the order of their first
// text, one leaf per key; a text's depth is kDepthPerLevel per element around it.
Index textIndexOf(const DocumentTree& nodes) {
    Index tx;
    std::vector<const xml::Tree*> leaves;  // by slot
    std::vector<std::int64_t> ends;        // last positions of the elements around
    for (std::int64_t p = 1; p < nodes.size(); ++p) {
        while (!ends.empty() && ends.back() < p) ends.pop_back();
        if (!nodes.isText(p)) {
            if (nodes.last(p) > p) ends.push_back(nodes.last(p));
            continue;
        }
        const std::string_view text = nodes.label(p);
        const std::uint32_t slot = tx.slotFor(text);
        if (slot == leaves.size()) leaves.push_back(xml::leafNode(xml::TXNode{std::string(text)}));
        tx.appendExact(slot, EmbeddingEntry{p, kDepthPerLevel * std::int64_t(ends.size()), p, 0, 0, leaves[slot]});
    }
    return tx;
}

}  // namespace

TextIndex::TextIndex() : index_(Lazy<Index>::ready(Index{})) {}

TextIndex::TextIndex(Index built) : index_(Lazy<Index>::ready(std::move(built))) {}

TextIndex::TextIndex(const DocumentTree& nodes) : index_(makeLazy([nodes] { return textIndexOf(nodes); })) {}

}  // namespace axf::index
