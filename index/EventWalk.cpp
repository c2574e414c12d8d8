#include "index/EventWalkInternal.h"

#include <algorithm>

#include "index/NodeWalk.h"

namespace axf::index {

BuildResult buildIndexes(const EventSource& next, std::size_t textBytes) {
    NodeWalk walk(textBytes);
    bool reachedEnd = walk.feed(next);
    return walk.finish(reachedEnd);
}

BuildResult buildIndexes(std::vector<xml::XMLEvent> events) {
    std::size_t i = 0;
    return buildIndexes([&]() -> std::optional<xml::XMLEvent> {
        if (i == events.size()) return std::nullopt;
        return std::move(events[i++]);
    });
}

std::vector<std::int64_t> newestFirstPositions(const Index& elementIndex, const Index& textIndex) {
    // Filing order is postorder: ascending last position, the later numbered
    // node first where two subtrees end together.
    std::vector<std::pair<std::int64_t, std::int64_t>> nodes;  // (position, last)
    for (const Index* index : {&elementIndex, &textIndex})
        for (const IndexEntry& e : index->entries())
            for (const EmbeddingEntry& x : e.exact) nodes.emplace_back(x.position, x.last);
    std::sort(nodes.begin(), nodes.end(), [](const auto& a, const auto& b) {
        if (a.second != b.second) return a.second > b.second;
        return a.first < b.first;
    });
    std::vector<std::int64_t> positions;
    positions.reserve(nodes.size());
    for (const auto& node : nodes) positions.push_back(node.first);
    return positions;
}

std::vector<std::pair<std::int64_t, std::string_view>> mappingPairs(const BuildResult& walked) {
    std::vector<std::pair<std::int64_t, std::string_view>> pairs;
    for (std::int64_t p : newestFirstPositions(walked.elementIndex, walked.textIndex))
        pairs.emplace_back(p, walked.mapping[static_cast<std::size_t>(p)]);
    return pairs;
}

std::vector<xml::XMLEvent> attrs(const xml::LazyAttList& attributes, std::vector<xml::XMLEvent> events) {
    if (attributes.empty()) return events;
    std::vector<xml::XMLEvent> out;
    out.reserve(3 * attributes.size() + events.size());
    for (const auto& [name, value] : attributes) {
        out.emplace_back(xml::StartEvent{"@" + name, {}});
        out.emplace_back(xml::TextEvent{value.get()});
        out.emplace_back(xml::EndEvent{name});
    }
    for (auto& e : events) out.push_back(std::move(e));
    return out;
}

}  // namespace axf::index
