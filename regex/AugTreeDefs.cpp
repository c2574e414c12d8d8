#include "regex/AugTreeDefs.h"

#include <algorithm>

namespace axf::regex {

bool posMember(Pos x, const PosSet& s) {
    return std::binary_search(s.begin(), s.end(), x);
}

PosSet posUnion(const PosSet& a, const PosSet& b) {
    PosSet out;
    out.reserve(a.size() + b.size());
    std::set_union(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

PosSet posMinus(const PosSet& a, const PosSet& b) {
    PosSet out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

PosSet posIntersect(const PosSet& a, const PosSet& b) {
    PosSet out;
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
    return out;
}

PosBag bagFromSet(const PosSet& b) {
    PosBag out;
    out.reserve(b.size());
    for (Pos p : b) out.emplace_back(p, 1);
    return out;
}

PosBag bagAddSet(const PosBag& a, const PosSet& b) {
    PosBag out;
    out.reserve(a.size() + b.size());
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && a[i].first < b[j])) {
            out.push_back(a[i++]);
        } else if (i == a.size() || b[j] < a[i].first) {
            out.emplace_back(b[j++], 1);
        } else {
            out.emplace_back(a[i].first, a[i].second + 1);
            ++i;
            ++j;
        }
    }
    return out;
}

PosBag bagMinus(const PosBag& a, const PosBag& b) {
    PosBag out;
    std::size_t j = 0;
    for (const auto& [x, n] : a) {
        while (j < b.size() && b[j].first < x) ++j;
        std::int32_t left = n;
        if (j < b.size() && b[j].first == x) left -= b[j].second;
        if (left > 0) out.emplace_back(x, left);
    }
    return out;
}

PosSet bagToSet(const PosBag& a) {
    PosSet out;
    out.reserve(a.size());
    for (const auto& entry : a) out.push_back(entry.first);
    return out;
}

namespace {

// One merge pass of a follow list (ascending) with the sorted sources: every
// source gets `add(existing)` or a new entry `fresh()`.
template <class List, class Add, class Fresh>
List mergeSources(const List& list, const PosSet& sources, Add add, Fresh fresh) {
    List out;
    out.reserve(list.size() + sources.size());
    std::size_t i = 0, j = 0;
    while (i < list.size() || j < sources.size()) {
        if (j == sources.size() || (i < list.size() && list[i].first < sources[j])) {
            out.push_back(list[i++]);
        } else if (i == list.size() || sources[j] < list[i].first) {
            out.emplace_back(sources[j++], fresh());
        } else {
            out.emplace_back(list[i].first, add(list[i].second));
            ++i;
            ++j;
        }
    }
    return out;
}

}  // namespace

FollowList insertFollows(const FollowList& list, const PosSet& sources, const PosSet& targets) {
    if (targets.empty() || sources.empty()) return list;
    return mergeSources(
        list, sources, [&](const PosSet& s) { return posUnion(s, targets); }, [&] { return targets; });
}

FollowBagList insertFollowsNoInt(const FollowBagList& list, const PosSet& sources, const PosSet& targets) {
    if (targets.empty() || sources.empty()) return list;
    return mergeSources(
        list, sources, [&](const PosBag& s) { return bagAddSet(s, targets); }, [&] { return bagFromSet(targets); });
}

}  // namespace axf::regex
