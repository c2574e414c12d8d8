// Lists of whole-query results kept as the products that make them.
//
// An `and` of whole queries in mode all pairs every result of one side with
// every result of the other, and an `or` in mode all pairs the equally cheap
// results of its sides: such a list grows with the product of its operands'
// lists. A ResultSet keeps it as that product, over the operands' own lists,
// and answers what the levels above ask of it without building a pair: its
// lowest cost and its entries of that cost (again a product, of each part's
// cheapest entries), its first cheapest entry, and how many entries it holds
// of each cost. Only a reader of the entries themselves (a printer, the
// conditions) walks them, one at a time, in the order of the built list: the
// first part outermost, the last one fastest.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "index/EmbeddingEntry.h"
#include "xml/XML.h"

namespace axf::query {

using index::EmbeddingEntry;
using index::EntryList;

// A number of results. A count that does not fit ends the run with
// countOverflowMessage instead of wrapping.
__extension__ using ResultCount = unsigned __int128;
extern const char* const countOverflowMessage;
std::string decimalText(ResultCount n);
ResultCount checkedAdd(ResultCount a, ResultCount b);

// How many entries of a list have each cost, ascending by cost.
using CostCounts = std::vector<std::pair<std::int64_t, ResultCount>>;

class ResultSet;
using ResultSetPtr = std::shared_ptr<const ResultSet>;

// The lowest cost of a non-empty list, and its entries of that cost, in
// order, as whole-query entries.
std::int64_t lowestCostOf(const EntryList& entries);
ResultSetPtr lowestRunOf(const EntryList& entries);

class ResultSet {
public:
    // A list as it is.
    static ResultSetPtr plain(EntryList entries);
    // The root a product's joined trees get: the boolean of whole queries
    // that made it.
    enum class JoinRoot { And, Or };
    static std::string_view rootName(JoinRoot root) { return root == JoinRoot::And ? "and" : "or"; }

    // The product of non-empty lists under `root`: the entry of a choice of
    // one entry of each part costs the sum of their costs, and its tree is
    // the parts' trees joined by buildExternalTree under the root's name, a
    // part that is itself a product giving its own joined tree.
    static ResultSetPtr product(JoinRoot root, std::vector<ResultSetPtr> parts);

    bool isProduct() const { return !parts_.empty(); }
    // Plain lists only.
    const EntryList& entries() const { return entries_; }
    JoinRoot root() const { return root_; }
    const std::vector<ResultSetPtr>& parts() const { return parts_; }

    bool empty() const;
    // The lowest cost; the list is not empty.
    std::int64_t lowestCost() const;
    // The entries of the lowest cost, in order, as whole-query entries.
    ResultSetPtr lowestRun() const;
    // The first entry of the lowest cost, as a whole-query entry.
    EmbeddingEntry firstCheapest() const;
    // The number of entries, and of entries of a cost within the bound.
    ResultCount size() const;
    ResultCount countWithin(std::int64_t bound) const;
    // How many entries of a cost within the bound hold each cost.
    CostCounts costCounts(std::int64_t bound) const;

    // The plain lists under a product, in order (a plain list: itself).
    std::vector<const ResultSet*> leaves() const;
    // The same nesting of products over other plain lists, one for each of
    // leaves() in its order; none may be empty.
    ResultSetPtr withLeaves(const std::vector<ResultSetPtr>& leaves) const;
    // The leaves (by their index in leaves()) in the order in which their
    // trees stand under the root of a joined tree, when every leaf tree
    // joins as itself (joinsAsItself): buildExternalTree puts a plain
    // right operand before the children of a joined left one.
    std::vector<std::size_t> joinedOrder() const;
    // Every entry in order, each made when it is visited; stops when visit
    // returns false.
    void forEach(const std::function<bool(const EmbeddingEntry&)>& visit) const;
    EntryList materialize() const;
    // The entries of materialize() in which every leaf's entry but at most
    // one is the first of its leaf, in the same order: each entry of each
    // leaf stands in one of them (for a reader of what the entries cover
    // together, see CoverScope). With `joinedRootName`, the joined roots are named
    // so in place of the product's root name.
    EntryList materializeCovering(std::string_view joinedRootName = {}) const;

    // The joined tree of one choice: `picked` holds one entry of each leaf
    // (leaves() order), from `from` on; returns the tree of this set's choice
    // and moves `from` past its leaves. With `joinedRootName`, this set's joined
    // root is named so in place of its root name.
    const xml::Tree* joinedTree(const std::vector<const EmbeddingEntry*>& picked, std::size_t& from,
                                std::string_view joinedRootName = {}) const;

private:
    EntryList entries_;
    JoinRoot root_ = JoinRoot::And;
    std::vector<ResultSetPtr> parts_;
};

}  // namespace axf::query
