#include "index/DocumentIndexer.h"

#include <optional>
#include <utility>

namespace axf::index {

IndexedDocument indexedDocument(BuildResult walked) {
    IndexedDocument doc;
    doc.indexEL = IndexEL(std::move(walked.elementIndex));
    doc.indexTX = std::move(walked.textIndex);
    doc.mapping = std::move(walked.mapping);
    doc.tree = std::move(walked.tree);
    return doc;
}

IndexedDocument parseText(std::string_view text) {
    std::optional<BuildResult> walked;
    withPreparedCopy(text, [&walked](std::string_view prepared, const OriginalOffsets& toOriginal,
                                     const ReadProgress& done) {
        walked.emplace(buildIndexesDirect(prepared, toOriginal, done));
    });
    return indexedDocument(std::move(*walked));
}

IndexedDocument parseTextInPlace(std::string&& text) {
    std::optional<BuildResult> walked;
    withPreparedInPlace(std::move(text), [&walked](std::string_view prepared, const OriginalOffsets& toOriginal,
                                                   const ReadProgress& done) {
        walked.emplace(buildIndexesDirect(prepared, toOriginal, done));
    });
    return indexedDocument(std::move(*walked));
}

}  // namespace axf::index
