// AssocList: the XML library's table of names, an ordered sequence of
// (key, value) pairs. Pairs stand in the order in which their keys were first
// inserted; a key that is bound again keeps its place and takes the new
// value. Lookups give the value of the first pair with an equal key.
//
// Tables are values: the operations take a table and return a new one, and
// the table they were given is left as it was (bindWith alone binds in place). Pass a table you no longer
// need with std::move to insert without copying it. Tables with text keys
// keep a hash index once they grow beyond a few pairs, so lookups stay cheap
// on large declaration sets while the order and first-match rule hold.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/Fatal.h"

namespace axf::xml {

template <class K, class V>
class AssocList {
public:
    using Pair = std::pair<K, V>;

    const std::vector<Pair>& pairs() const { return pairs_; }
    std::size_t size() const { return pairs_.size(); }
    bool isEmpty() const { return pairs_.empty(); }

    // The value of the first pair whose key equals `key`, or nullptr.
    const V* find(const K& key) const {
        if constexpr (kHashable) {
            if (!index_.empty()) {
                auto it = index_.find(key);
                return it == index_.end() ? nullptr : &pairs_[it->second].second;
            }
        }
        for (const Pair& p : pairs_)
            if (key == p.first) return &p.second;
        return nullptr;
    }

    // Binds `key` in place: an existing pair takes combine(old, new) and
    // keeps its stored key and position; a new key is appended.
    template <class Combine>
    void bindWith(Combine&& combine, K key, V value) {
        if (V* old = findMutable(key)) {
            *old = combine(std::as_const(*old), std::move(value));
            return;
        }
        pairs_.emplace_back(std::move(key), std::move(value));
        if constexpr (kHashable) {
            if (!index_.empty()) {
                index_.emplace(pairs_.back().first, pairs_.size() - 1);
            } else if (pairs_.size() > kIndexFrom) {
                for (std::size_t i = 0; i < pairs_.size(); ++i) index_.emplace(pairs_[i].first, i);
            }
        }
    }

private:
    static constexpr bool kHashable = requires(const K& k) { std::hash<K>{}(k); };
    static constexpr std::size_t kIndexFrom = 8;

    V* findMutable(const K& key) { return const_cast<V*>(std::as_const(*this).find(key)); }

    std::vector<Pair> pairs_;
    // Key to the position of its pair; present only for tables of hashable
    // keys with more than kIndexFrom pairs. Keys are unique in a table built
    // by bindWith, so the first match is the only one.
    std::unordered_map<K, std::size_t> index_;
};

// The table with no pairs.
template <class K, class V>
AssocList<K, V> empty() {
    return {};
}

// The table with `key` bound: at the first pair whose stored key equals it,
// the value becomes combine(old value, new value); otherwise (key, value) is
// appended.
template <class K, class V, class Combine>
AssocList<K, V> insertWith(Combine&& combine, K key, V value, AssocList<K, V> table) {
    table.bindWith(std::forward<Combine>(combine), std::move(key), std::move(value));
    return table;
}

template <class K, class V>
AssocList<K, V> insert(K key, V value, AssocList<K, V> table) {
    table.bindWith([](const V&, V v) { return v; }, std::move(key), std::move(value));
    return table;
}

template <class K, class V>
std::optional<V> lookupM(const AssocList<K, V>& table, const K& key) {
    if (const V* v = table.find(key)) return *v;
    return std::nullopt;
}

template <class K, class V>
V lookupWithDefault(const AssocList<K, V>& table, V def, const K& key) {
    if (const V* v = table.find(key)) return *v;
    return def;
}

// Like lookupM, but an absent key ends the run with "Error: Not found".
template <class K, class V>
const V& unsafeLookup(const AssocList<K, V>& table, const K& key) {
    if (const V* v = table.find(key)) return *v;
    throw axf::Fatal("Error: Not found");
}

}  // namespace axf::xml
