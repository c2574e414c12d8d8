// The search's shortcuts against a plain reading of the search on small random
// documents: the joining of all operands of an `and` at once, the bounds an
// `or` or `xor` in mode all hands to its `and` operands (first or later),
// the search below only those candidates some parent match holds, and the
// dropping of dearer matches for a caller that reads only those of cost 0.
//
// The reference evaluates leaves with the search itself (they take no
// shortcut) and everything above them from the public pieces: the candidate
// lookup, the descendant walk and the pairwise combinations, folded from left
// to right with nothing bounded.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "index/DocumentIndexer.h"
#include "query/Combination.h"
#include "query/Embedding.h"
#include "query/EmbeddingInternal.h"
#include "query/QueryAnnotation.h"
#include "tests/query/CombinationTestUtil.h"

namespace {

using namespace axf;
using namespace axf::query;
using axf::query::testutil::showFull;
using axf::xml::ELNode;
using axf::xml::Tree;

const char* const kTags[] = {"site", "people", "person", "name", "item"};

// A random document of at most `budget` elements over kTags.
std::string randomDocument(std::mt19937& rng, int budget) {
    std::string out;
    int left = budget;
    auto rec = [&](auto& self, int depth) -> void {
        const char* tag = kTags[rng() % 5];
        --left;
        out += std::string("<") + tag + ">";
        const int kids = depth >= 5 ? 0 : static_cast<int>(rng() % 4);
        for (int k = 0; k < kids && left > 0; ++k) self(self, depth + 1);
        out += std::string("</") + tag + ">";
    };
    rec(rec, 0);
    return out;
}

struct Query {
    const Tree* tree = nullptr;
    std::vector<QueryMapping::Pair> mapping;
    std::vector<DeletionCostList::Pair> costs;
    int next = 2;
};

// A random query node: an element over one child, a leaf, or an and, or or
// xor group of one to four operands; numbers in preorder.
const Tree* randomNode(std::mt19937& rng, Query& q, int depth, bool group) {
    const std::string n = std::to_string(q.next++);
    const unsigned kind = group ? 3 : (depth >= 3 ? 0 : rng() % 4);
    if (kind == 3 && depth < 3) {
        static const char* const ops[] = {"and", "or", "xor"};
        q.mapping.push_back({n, ops[rng() % 3]});
        if (rng() % 2) q.costs.push_back({n, static_cast<std::int64_t>(1 + rng() % 3)});
        const int width = 1 + static_cast<int>(rng() % 4);
        std::vector<const Tree*> kids;
        for (int k = 0; k < width; ++k) kids.push_back(randomNode(rng, q, depth + 1, false));
        return xml::makeTree(ELNode{n, {}}, std::span<const Tree* const>(kids));
    }
    q.mapping.push_back({n, kTags[rng() % 5]});
    if (kind == 0 || depth >= 3) return xml::elem(n);
    return xml::makeTree(ELNode{n, {}}, {randomNode(rng, q, depth + 1, kind == 2)});
}

struct Reference {
    const QueryMapping& qmap;
    const DeletionCostList& costs;
    const index::IndexedDocument& doc;
    std::int64_t deletionCost;
    SearchMode mode;

    EntryList eval(const Tree* t, EntrySpan parents, const std::string& p) const {
        if (parents.empty()) return {};
        const std::string& n = std::get<ELNode>(t->value).name;
        const std::string& label = *qmap.find(n);
        if (t->isLeaf()) {
            const SearchTypeList noTypes;
            const SearchContext context{&qmap,          &costs,       &noTypes,     &doc.elementIndex,
                                        &doc.textIndex, &doc.mapping, deletionCost, mode};
            return evaluate(t, context, parents, std::stoll(p)).all();
        }
        const bool all = mode == SearchMode::All;
        if (label == "and" || label == "or" || label == "xor") {
            const std::int64_t d = costs.find(n) ? *costs.find(n) : 0;
            auto operands = t->children();
            EntryList r = eval(operands[0], parents, p);
            for (std::size_t i = 1; i < operands.size(); ++i) {
                if (label == "and" && r.empty()) return r;
                const EntryList next = eval(operands[i], parents, p);
                if (label == "and")
                    r = all ? combineAndAll(EntrySpan(r), EntrySpan(next), d) : combineAndBest(EntrySpan(r), EntrySpan(next), d);
                else if (label == "or")
                    r = all ? combineOrAll(EntrySpan(r), EntrySpan(next), d) : combineOrBest(EntrySpan(r), EntrySpan(next), d);
                else
                    r = all ? combineXorAll(EntrySpan(r), EntrySpan(next), d) : combineXorBest(EntrySpan(r), EntrySpan(next), d);
            }
            return r;
        }
        const EntryList own = getPresences(doc.elementIndex, label, index::LookupKind::Exact);
        SearchResult below{eval(t->children()[0], own, n), nullptr};
        return descendantJoin(parents, below, p, kInsertionCost, kNoEmbeddingCost, doc.mapping, 0, mode).all();
    }

    EntryList search(const Tree* root) const {
        const std::string& n = std::get<ELNode>(root->value).name;
        const EntryList cands = getPresences(doc.elementIndex, *qmap.find(n), index::LookupKind::Exact);
        EntryList r;
        if (root->isLeaf()) {
            for (const EmbeddingEntry& c : cands) r.push_back(stampMatch(n, c));
        } else {
            r = eval(root->children()[0], cands, n);
        }
        for (EmbeddingEntry& e : r) e.cost += e.renamingCost;
        return r;
    }
};

TEST(SearchShortcuts, MatchThePlainSearchOnRandomDocuments) {
    std::mt19937 rng(21);
    int compared = 0, nonEmpty = 0;
    for (int round = 0; round < 1500; ++round) {
        const std::string text = randomDocument(rng, 8 + static_cast<int>(rng() % 25));
        const index::IndexedDocument doc = index::parseText(text);
        Query q;
        q.mapping.push_back({"2", kTags[rng() % 5]});
        q.next = 3;
        // The root's child is a group most of the time: the shapes under test.
        const Tree* child = randomNode(rng, q, 1, rng() % 4 != 0);
        q.tree = xml::makeTree(ELNode{"2", {}}, {child});
        const QueryMapping qmap(q.mapping);
        const DeletionCostList costs(q.costs);
        const SearchTypeList noTypes;
        for (SearchMode mode : {SearchMode::All, SearchMode::Best}) {
            for (std::int64_t deletion : {std::int64_t(5), kNoEmbeddingCost}) {
                const Reference ref{qmap, costs, doc, deletion, mode};
                const EntryList want = ref.search(q.tree);
                SearchContext context{&qmap, &costs, &noTypes, &doc.elementIndex, &doc.textIndex, &doc.mapping, deletion, mode};
                const SearchResult got = evaluateQuery(q.tree, context, 2);
                ASSERT_EQ(showFull(got.all()), showFull(want))
                    << text << " mode " << (mode == SearchMode::All ? "all" : "best") << " deletion " << deletion;
                ++compared;
                nonEmpty += !want.empty();
                // A caller that reads only the matches of cost 0 gets those,
                // in the same order.
                EntryList exact;
                for (const EmbeddingEntry& e : want)
                    if (e.cost == 0) exact.push_back(e);
                context.exactOnly = true;
                const SearchResult pruned = evaluateQuery(q.tree, context, 2);
                EntryList prunedExact;
                for (const EmbeddingEntry& e : pruned.all())
                    if (e.cost == 0) prunedExact.push_back(e);
                ASSERT_EQ(showFull(prunedExact), showFull(exact))
                    << text << " mode " << (mode == SearchMode::All ? "all" : "best");
                if (deletion == kNoEmbeddingCost && costs.empty()) {
                    ASSERT_EQ(pruned.all().size(), exact.size())
                        << text << " mode " << (mode == SearchMode::All ? "all" : "best");
                }
            }
        }
    }
    EXPECT_GT(nonEmpty, compared / 4);
}

}  // namespace
