// Document text through the scanner, the event parser and the indexer, then
// every lookup the search makes: the merged element index and the text
// index.
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzSupport.h"
#include "index/DocumentIndexer.h"

using namespace axf;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = fuzz::asText(data, size);
    fuzz::runInput([&] {
        index::IndexedDocument doc = index::parseText(text);
        const index::Index& merged = doc.elementIndex.merged();
        for (const index::IndexEntry& e : merged.entries()) {
            (void)index::getRef(doc.elementIndex, e.key, index::LookupKind::WithTranslations);
            for (const index::EmbeddingEntry& x : e.exact) (void)index::getMapName(x.position, doc.mapping);
        }
        for (const index::IndexEntry& e : doc.textIndex.entries())
            (void)index::getRef(doc.textIndex, e.key, index::LookupKind::Exact);
    });
    return 0;
}
