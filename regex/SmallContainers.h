// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// The small collections of the regular-expression engine: FiniteMap (an
// association list in first-insertion order), OrdList (a strictly ascending
// sequence without repeats) and BagRE (a multiset of counts built on
// FiniteMap). Operation names carry their collection: FM for FiniteMap, OL
// for OrdList; "Combining" marks the forms that merge the value of a repeated
// key with the caller's function. Every operation returns a new value. Keys
// and elements are compared only through the callable the caller passes: an
// equality for map keys (applied as eq(given key, stored key)), a strict "less
// than" for ordered sets and bags (two elements are equal when neither is
// less).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace axf::regex {

// ---------------------------------------------------------------------------
// FiniteMap

template <class K, class V>
using FiniteMap = std::vector<std::pair<K, V>>;

template <class K, class V>
FiniteMap<K, V> emptyFM() {
    return {};
}

template <class K, class V>
FiniteMap<K, V> unitFM(K k, V v) {
    return {{std::move(k), std::move(v)}};
}

// The records unchanged: order and repeated keys kept.
template <class K, class V>
FiniteMap<K, V> listToFM(std::vector<std::pair<K, V>> records) {
    return records;
}

// The first record whose key equals k gets combine(stored, v) in its place;
// otherwise (k, v) is appended and combine is not called.
template <class K, class V, class Eq, class Combine>
FiniteMap<K, V> addToFMCombining(Eq&& eq, Combine&& combine, FiniteMap<K, V> map, const K& k, V v) {
    for (auto& rec : map) {
        if (eq(k, rec.first)) {
            rec.second = combine(rec.second, std::move(v));
            return map;
        }
    }
    map.emplace_back(k, std::move(v));
    return map;
}

template <class K, class V, class Eq>
FiniteMap<K, V> addToFM(Eq&& eq, FiniteMap<K, V> map, const K& k, V v) {
    return addToFMCombining(
        eq, [](const V&, V given) { return given; }, std::move(map), k, std::move(v));
}

// map1 with the records of map2 added from map2's last record to its first.
template <class K, class V, class Eq, class Combine>
FiniteMap<K, V> plusFMCombining(Eq&& eq, Combine&& combine, FiniteMap<K, V> map1, const FiniteMap<K, V>& map2) {
    for (auto it = map2.rbegin(); it != map2.rend(); ++it)
        map1 = addToFMCombining(eq, combine, std::move(map1), it->first, it->second);
    return map1;
}

template <class K, class V, class Eq>
FiniteMap<K, V> plusFM(Eq&& eq, FiniteMap<K, V> map1, const FiniteMap<K, V>& map2) {
    return plusFMCombining(
        eq, [](const V&, V given) { return given; }, std::move(map1), map2);
}

template <class K, class V, class Eq>
std::optional<V> lookupFM(Eq&& eq, const FiniteMap<K, V>& map, const K& k) {
    for (const auto& rec : map)
        if (eq(k, rec.first)) return rec.second;
    return std::nullopt;
}

template <class K, class V, class Eq>
bool elemFM(Eq&& eq, const K& k, const FiniteMap<K, V>& map) {
    for (const auto& rec : map)
        if (eq(k, rec.first)) return true;
    return false;
}

template <class K, class V>
bool isEmptyFM(const FiniteMap<K, V>& map) {
    return map.empty();
}

template <class K, class V>
std::size_t sizeFM(const FiniteMap<K, V>& map) {
    return map.size();
}

template <class K, class V>
const FiniteMap<K, V>& fmToList(const FiniteMap<K, V>& map) {
    return map;
}

template <class K, class V>
std::vector<K> keysFM(const FiniteMap<K, V>& map) {
    std::vector<K> out;
    out.reserve(map.size());
    for (const auto& rec : map) out.push_back(rec.first);
    return out;
}

template <class K, class V>
std::vector<V> eltsFM(const FiniteMap<K, V>& map) {
    std::vector<V> out;
    out.reserve(map.size());
    for (const auto& rec : map) out.push_back(rec.second);
    return out;
}

template <class K, class V, class F>
auto mapFM(F&& f, const FiniteMap<K, V>& map) {
    using W = std::decay_t<decltype(f(map.front().first, map.front().second))>;
    FiniteMap<K, W> out;
    out.reserve(map.size());
    for (const auto& rec : map) out.emplace_back(rec.first, f(rec.first, rec.second));
    return out;
}

template <class K, class V, class P>
FiniteMap<K, V> filterFM(P&& p, const FiniteMap<K, V>& map) {
    FiniteMap<K, V> out;
    for (const auto& rec : map)
        if (p(rec.first, rec.second)) out.push_back(rec);
    return out;
}

// f(k1, v1, f(k2, v2, ... f(kn, vn, z))).
template <class K, class V, class A, class F>
A foldFM(F&& f, A z, const FiniteMap<K, V>& map) {
    for (auto it = map.rbegin(); it != map.rend(); ++it) z = f(it->first, it->second, std::move(z));
    return z;
}

// ---------------------------------------------------------------------------
// OrdList

template <class E>
using OrdList = std::vector<E>;

template <class E, class Less>
OrdList<E> emptyOL(Less&&) {
    return {};
}

template <class E, class Less>
OrdList<E> singletonOL(Less&&, E x) {
    return {std::move(x)};
}

// x at its place; the list unchanged when it holds an equal element.
template <class E, class Less>
OrdList<E> addEl(Less&& less, const E& x, OrdList<E> s) {
    auto it = std::lower_bound(s.begin(), s.end(), x, less);
    if (it != s.end() && !less(x, *it)) return s;
    s.insert(it, x);
    return s;
}

// The list as an OrdList (sorted, equal elements dropped); among equal
// elements the last of the input remains.
template <class E, class Less>
OrdList<E> toOrdList(Less&& less, std::vector<E> xs) {
    std::reverse(xs.begin(), xs.end());
    std::stable_sort(xs.begin(), xs.end(), less);
    auto eq = [&less](const E& a, const E& b) { return !less(a, b) && !less(b, a); };
    xs.erase(std::unique(xs.begin(), xs.end(), eq), xs.end());
    return xs;
}

template <class E, class Less>
bool member(Less&& less, const E& x, const OrdList<E>& s) {
    auto it = std::lower_bound(s.begin(), s.end(), x, less);
    return it != s.end() && !less(x, *it);
}

// Every element of a inserted into b; b's element remains on equality.
template <class E, class Less>
OrdList<E> unionOL(Less&& less, std::vector<E> a, const OrdList<E>& b) {
    OrdList<E> sa = toOrdList(less, std::move(a));
    OrdList<E> out;
    out.reserve(sa.size() + b.size());
    std::size_t i = 0, j = 0;
    while (i < sa.size() && j < b.size()) {
        if (less(sa[i], b[j]))
            out.push_back(sa[i++]);
        else if (less(b[j], sa[i]))
            out.push_back(b[j++]);
        else {
            out.push_back(b[j++]);
            ++i;
        }
    }
    for (; i < sa.size(); ++i) out.push_back(sa[i]);
    for (; j < b.size(); ++j) out.push_back(b[j]);
    return out;
}

// The elements of a equal to some element of b, as an OrdList.
template <class E, class Less>
OrdList<E> intersectOL(Less&& less, std::vector<E> a, std::vector<E> b) {
    OrdList<E> sb = toOrdList(less, std::move(b));
    std::vector<E> kept;
    for (E& x : a)
        if (member(less, x, sb)) kept.push_back(std::move(x));
    return toOrdList(less, std::move(kept));
}

// a without the elements equal to elements of b.
template <class E, class Less>
OrdList<E> minusOL(Less&& less, const OrdList<E>& a, std::vector<E> b) {
    OrdList<E> sb = toOrdList(less, std::move(b));
    OrdList<E> out;
    for (const E& x : a)
        if (!member(less, x, sb)) out.push_back(x);
    return out;
}

// The callable applied to each element in order; not re-sorted.
template <class E, class F>
auto mapS(F&& f, const OrdList<E>& s) {
    std::vector<std::decay_t<decltype(f(s.front()))>> out;
    out.reserve(s.size());
    for (const E& x : s) out.push_back(f(x));
    return out;
}

// f(smallest, f(next, ... f(largest, z))).
template <class E, class A, class F>
A foldS(F&& f, A z, const OrdList<E>& s) {
    for (auto it = s.rbegin(); it != s.rend(); ++it) z = f(*it, std::move(z));
    return z;
}

// ---------------------------------------------------------------------------
// BagRE

template <class E>
using BagRE = FiniteMap<E, std::int32_t>;

namespace detail {
template <class Less>
auto eqOf(Less& less) {
    return [&less](const auto& a, const auto& b) { return !less(a, b) && !less(b, a); };
}
inline std::int32_t addCounts(std::int32_t a, std::int32_t b) { return a + b; }
}  // namespace detail

template <class E>
BagRE<E> emptyBagRE() {
    return {};
}

template <class E>
BagRE<E> unitBagRE(E x) {
    return {{std::move(x), 1}};
}

// Each element with its number of occurrences; stored in the order of the
// elements' last occurrences, from the end of the list backwards.
template <class E, class Less>
BagRE<E> listToBagRE(Less&& less, const std::vector<E>& xs) {
    BagRE<E> bag;
    auto eq = detail::eqOf(less);
    for (auto it = xs.rbegin(); it != xs.rend(); ++it) bag = addToFMCombining(eq, detail::addCounts, std::move(bag), *it, 1);
    return bag;
}

template <class E, class Less>
BagRE<E> unionBagRE(Less&& less, BagRE<E> a, const BagRE<E>& b) {
    return plusFMCombining(detail::eqOf(less), detail::addCounts, std::move(a), b);
}

// Counts of a reduced by those in b; records falling to 0 or below dropped.
template <class E, class Less>
BagRE<E> minusBagRE(Less&& less, const BagRE<E>& a, const BagRE<E>& b) {
    auto eq = detail::eqOf(less);
    BagRE<E> out;
    for (const auto& [e, n] : a) {
        std::int32_t m = lookupFM(eq, b, e).value_or(0);
        if (n - m > 0) out.emplace_back(e, n - m);
    }
    return out;
}

template <class E, class Less, class P>
BagRE<E> filterBagRE(Less&&, P&& p, const BagRE<E>& bag) {
    return filterFM([&p](const E& e, std::int32_t) { return p(e); }, bag);
}

template <class E, class Less>
bool elemBagRE(Less&& less, const E& x, const BagRE<E>& bag) {
    return elemFM(detail::eqOf(less), x, bag);
}

// Every element repeated count times; the last record's copies first.
template <class E, class Less>
std::vector<E> bagREToList(Less&&, const BagRE<E>& bag) {
    std::vector<E> out;
    for (auto it = bag.rbegin(); it != bag.rend(); ++it)
        for (std::int32_t k = 0; k < it->second; ++k) out.push_back(it->first);
    return out;
}

template <class E, class Less>
OrdList<E> bagREToOL(Less&& less, const BagRE<E>& bag) {
    return toOrdList(less, keysFM(bag));
}

}  // namespace axf::regex
