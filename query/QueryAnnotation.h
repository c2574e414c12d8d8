// Query annotation records and the plain annotation.
//
// Annotating a simple query numbers its nodes in preorder from a first number
// that the caller gives and relabels every node with its number's decimal
// text (an element becomes ELNode{number, {}}, a text TXNode{number}). The
// label each node had in the query, its variable and its search type live in
// side lists keyed by that number text. The plain form (plainAnnotation) serves the
// exact statements and negated filters; the extended form, with deletion
// alternatives and their costs, is in ExtendQuery.h.
//
// Query labels are number texts only; the values in the lists (tag names,
// texts, variable names) are kept raw, never label-escaped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "xml/XML.h"

namespace axf::query {

// The mark put before a one-letter variable name inside a copy. It is a
// character no variable of a filter can hold, so a copy's name never
// collides with a variable the user wrote (such as "CX" beside "X").
inline constexpr char kCopyMark = '~';

namespace detail {

// The value of a number text written in canonical decimal (digits only, no
// sign, no leading zero, at most 18 digits), or -1 for any other text.
inline std::int64_t canonicalNumber(std::string_view key) {
    if (key.empty() || key.size() > 18 || (key[0] == '0' && key.size() > 1)) return -1;
    std::int64_t n = 0;
    for (char c : key) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

}  // namespace detail

// A list of (number text, value) pairs in a fixed order, front first, with a
// constant-time lookup of the first pair for a key (keys compared as whole
// strings). Immutable once built. The keys of an annotation are the numbers
// of one query, a dense range, so they are looked up through a vector
// indexed by number; any other key goes through a hash map.
template <class V>
class KeyedList {
public:
    using Pair = std::pair<std::string, V>;

    KeyedList() = default;
    explicit KeyedList(std::vector<Pair> pairs) : pairs_(std::move(pairs)) { buildIndex(); }
    KeyedList(std::initializer_list<Pair> pairs) : pairs_(pairs) { buildIndex(); }

    const std::vector<Pair>& pairs() const { return pairs_; }
    std::size_t size() const { return pairs_.size(); }
    bool empty() const { return pairs_.empty(); }
    const Pair& operator[](std::size_t i) const { return pairs_[i]; }
    auto begin() const { return pairs_.begin(); }
    auto end() const { return pairs_.end(); }

    // The value of the first pair whose key equals `key`, or nullptr.
    const V* find(std::string_view key) const {
        std::int64_t n = detail::canonicalNumber(key);
        if (n >= 0 && !dense_.empty()) {
            if (n < base_ || n - base_ >= std::int64_t(dense_.size())) return nullptr;
            std::size_t slot = dense_[std::size_t(n - base_)];
            return slot == kNone ? nullptr : &pairs_[slot].second;
        }
        auto it = other_.find(std::string(key));
        return it == other_.end() ? nullptr : &pairs_[it->second].second;
    }

    friend bool operator==(const KeyedList& a, const KeyedList& b) { return a.pairs_ == b.pairs_; }

private:
    static constexpr std::size_t kNone = std::size_t(-1);

    void buildIndex() {
        std::int64_t lo = -1, hi = -1;
        for (const auto& p : pairs_) {
            std::int64_t n = detail::canonicalNumber(p.first);
            if (n < 0) continue;
            if (lo < 0 || n < lo) lo = n;
            if (n > hi) hi = n;
        }
        bool dense = lo >= 0 && std::uint64_t(hi - lo) <= 4 * std::uint64_t(pairs_.size()) + 64;
        if (dense) {
            base_ = lo;
            dense_.assign(std::size_t(hi - lo + 1), kNone);
        }
        for (std::size_t i = 0; i < pairs_.size(); ++i) {  // the first pair of a key wins
            std::int64_t n = detail::canonicalNumber(pairs_[i].first);
            if (dense && n >= 0) {
                std::size_t& slot = dense_[std::size_t(n - base_)];
                if (slot == kNone) slot = i;
            } else {
                other_.emplace(pairs_[i].first, i);
            }
        }
    }

    std::vector<Pair> pairs_;
    std::int64_t base_ = 0;
    std::vector<std::size_t> dense_;  // by number - base_: index into pairs_
    std::unordered_map<std::string, std::size_t> other_;
};

// (number text, label the node had in the query): a tag name, a text, "and",
// "or" or "xor"; "or" also for an alternative node of the extended form.
using QueryMapping = KeyedList<std::string>;
// (number text, non-zero deletion cost); a node without a pair costs 0.
using DeletionCostList = KeyedList<std::int64_t>;
// (number text, variable name).
using VariableList = KeyedList<std::string>;
// (number text, type mark as the query gives it, "E" from the filter language).
using SearchTypeList = KeyedList<std::string>;

// The extended annotation (see ExtendQuery.h).
struct QueryAnnotation {
    const xml::Tree* tree = nullptr;  // renumbered, with the deletion alternatives
    QueryMapping mapping;
    DeletionCostList deletionCosts;
    VariableList variables;
    SearchTypeList searchTypes;
    std::int64_t lastNumber = 0;  // highest number given
};

// The plain annotation: no alternatives, no costs.
struct PlainAnnotation {
    const xml::Tree* tree = nullptr;
    QueryMapping mapping;
    VariableList variables;
    SearchTypeList searchTypes;
    std::int64_t lastNumber = 0;
};

// The deletion cost recorded for the node, 0 when the list has none.
std::int64_t deletionCostOf(std::string_view numberText, const DeletionCostList& costs);

// The list itself for cost 0; otherwise (number, cost) in front of it.
DeletionCostList withDeletionCost(std::int64_t number, std::int64_t cost, const DeletionCostList& costs);

// The plain annotation of a query tree whose root takes `first`. The mapping,
// the variables and the search types are in preorder.
PlainAnnotation plainAnnotation(const xml::Tree* query, std::int64_t first);

namespace detail {

// Appends the node's variable and search-type pairs (reverse attribute
// order), checking the attribute list as prependVariablesAndTypes does. When `marked`
// is set, one-letter variable names are marked as a copy's (markCopyVariables).
void appendVariablesAndTypes(const std::string& numberText, const xml::AttList& attributes,
                             std::vector<VariableList::Pair>& variables, std::vector<SearchTypeList::Pair>& searchTypes,
                             bool marked, int count);

bool isGroupName(std::string_view name);

}  // namespace detail

}  // namespace axf::query
