#include "query/EmbeddingInternal.h"

#include <string>

#include "common/DecimalInteger.h"
#include "common/Fatal.h"
#include "index/TranslationTable.h"

namespace axf::query {

namespace {

// The other search type.
index::LookupKind inverseType(index::LookupKind type) {
    return type == index::LookupKind::Exact ? index::LookupKind::WithTranslations : index::LookupKind::Exact;
}

// The entries (kind "N") of the first synonym the index holds, each with
// renaming cost 2; the weights are not read.
template <class Idx>
EntryList firstTranslationEntries(const Idx& idx, const index::RenamingList& synonyms) {
    for (const auto& syn : synonyms) {
        EntryList found = index::getRef(idx, syn.first, index::LookupKind::WithTranslations);
        if (!found.empty()) return withRenamingCost(kRenamingCost, found);
    }
    return {};
}

// The candidates of a name in either kind of index (see getPresences).
template <class Idx>
EntryList presencesIn(const Idx& idx, std::string_view name, index::LookupKind type) {
    if (type == index::LookupKind::Exact) return index::getRef(idx, name, index::LookupKind::Exact);
    EntryList r = index::getRef(idx, name, index::LookupKind::WithTranslations);
    if (!r.empty()) return r;
    index::RenamingList synonyms = index::classOfSyn(name);
    if (synonyms.empty()) return {};
    synonyms.erase(synonyms.begin());
    return firstTranslationEntries(idx, synonyms);
}

}  // namespace

EntryList getPresences(const index::Index& idx, std::string_view name, index::LookupKind type) {
    return presencesIn(idx, name, type);
}

EntryList getPresences(const index::MergedElementIndex& idx, std::string_view name, index::LookupKind type) {
    return presencesIn(idx, name, type);
}

std::pair<index::LookupKind, std::size_t> searchType(std::string_view n, index::LookupKind defaultType,
                                                     const SearchTypeList& list, std::size_t from) {
    if (from >= list.size()) return {defaultType, list.size()};
    std::int64_t node = readQueryNumber(n, "searchType");
    for (std::size_t i = from; i < list.size(); ++i) {
        std::int64_t m = readQueryNumber(list[i].first, "searchType");
        if (node == m) return {inverseType(defaultType), i + 1};
        if (node < m) return {defaultType, i};
    }
    return {defaultType, list.size()};
}

std::int64_t readQueryNumber(std::string_view s, const char* who) {
    std::int64_t v = 0;
    if (readDecimal(s, v) != DecimalRead::Ok)
        throw InternalError(std::string(who) + ": query node number \"" + std::string(s) + "\" is not a number");
    return v;
}

EntryList addRenamingCosts(EntrySpan entries) {
    EntryList out(entries.begin(), entries.end());
    for (EmbeddingEntry& e : out) e.cost += e.renamingCost;
    return out;
}

EntryList addDeletionCost(EntrySpan entries, std::int64_t d) {
    EntryList out(entries.begin(), entries.end());
    if (d != 0)
        for (EmbeddingEntry& e : out) e.cost += d;
    return out;
}

EntryList withRenamingCost(std::int64_t r, EntrySpan entries) {
    EntryList out(entries.begin(), entries.end());
    for (EmbeddingEntry& e : out) e.renamingCost = r;
    return out;
}

}  // namespace axf::query
