#include "query/CombinationSteps.h"

#include <cstddef>

namespace axf::query {

namespace {

// The steps shared by both xor workers: each step chooses one head, emit(list,
// index) writes what the mode emits for it, and the list or lists that held
// its position move past it.
template <class Emit>
void xorMerge(EntrySpan first, EntrySpan second, Emit emit) {
    std::size_t i = 0, j = 0;
    while (i < first.size() || j < second.size()) {
        if (i == first.size()) {
            emit(second, j);
            j = skipPosition(second, j + 1, second[j].position);
        } else if (j == second.size()) {
            emit(first, i);
            i = skipPosition(first, i + 1, first[i].position);
        } else {
            const EmbeddingEntry& x = first[i];
            const EmbeddingEntry& y = second[j];
            if (x.position < y.position) {
                emit(first, i);
                i = skipPosition(first, i + 1, x.position);
            } else if (x.position > y.position) {
                emit(second, j);
                j = skipPosition(second, j + 1, y.position);
            } else {
                if (x.cost <= y.cost)
                    emit(first, i);
                else
                    emit(second, j);
                const std::int64_t p = x.position;
                i = skipPosition(first, i + 1, p);
                j = skipPosition(second, j + 1, p);
            }
        }
    }
}

}  // namespace

EntryList xorBestOrdered(EntrySpan first, EntrySpan second, std::int64_t n) {
    EntryList out;
    out.reserve(first.size() + second.size());
    xorMerge(first, second, [&](EntrySpan s, std::size_t i) { out.push_back(withCost(s[i], n)); });
    return out;
}

EntryList xorAllOrdered(EntrySpan first, EntrySpan second, std::int64_t n) {
    EntryList out;
    out.reserve(first.size() + second.size());
    xorMerge(first, second, [&](EntrySpan s, std::size_t i) {
        const EmbeddingEntry& h = s[i];
        for (std::size_t k = i; k < s.size() && s[k].position == h.position && s[k].cost == h.cost; ++k)
            out.push_back(withCost(s[k], n));
    });
    return out;
}

}  // namespace axf::query
