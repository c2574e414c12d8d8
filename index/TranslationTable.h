// The tag translation table: the renaming list of a tag name, the names under
// which an element of that tag may be found, each with its renaming weight.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "index/EmbeddingEntry.h"
#include "index/SynonymClasses.h"

namespace axf::index {

// (tag name, weight) pairs; the names live for the whole run.
template <class W>
using RenamingListT = std::vector<std::pair<std::string_view, W>>;
using RenamingList = RenamingListT<std::int64_t>;

// The renaming list of a name, weights in the caller's integer type: empty for
// a text outside the vocabulary, else (name, 0) and, for a name that has a
// translation, (translation, kTranslationRenamingCost) after it. Names are compared whole, byte for
// byte. Never fails.
template <class W = std::int64_t>
RenamingListT<W> classOfSyn(std::string_view name) {
    static const W kSelf = W(0);
    static const W kTranslation = W(kTranslationRenamingCost);
    RenamingListT<W> list;
    auto entry = lookupVocabulary(name);
    if (!entry) return list;
    list.reserve(entry->translation.empty() ? 1 : 2);
    list.emplace_back(entry->name, kSelf);
    if (!entry->translation.empty()) list.emplace_back(entry->translation, kTranslation);
    return list;
}

}  // namespace axf::index
