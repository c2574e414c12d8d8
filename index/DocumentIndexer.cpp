#include "index/DocumentIndexerInternal.h"

#include <optional>
#include <utility>

namespace axf::index {

IndexedDocument indexedDocument(BuildResult walked) {
    IndexedDocument doc;
    doc.elementIndex = MergedElementIndex(std::move(walked.elementIndex), std::move(walked.unknownNamePlace));
    doc.textIndex = std::move(walked.textIndex);
    doc.mapping = std::move(walked.mapping);
    doc.tree = std::move(walked.tree);
    return doc;
}

IndexedDocument parseText(std::string_view text, const DocumentOrigin& origin) {
    std::optional<BuildResult> walked;
    withPreparedCopy(text, origin, [&walked](std::string_view prepared, const PreparedPlaces& places, const ReadProgress& done) {
        walked.emplace(buildIndexesDirect(prepared, places, done));
    });
    return indexedDocument(std::move(*walked));
}

IndexedDocument parseTextInPlace(std::string&& text, const DocumentOrigin& origin) {
    std::optional<BuildResult> walked;
    withPreparedInPlace(std::move(text), origin,
                        [&walked](std::string_view prepared, const PreparedPlaces& places, const ReadProgress& done) {
                            walked.emplace(buildIndexesDirect(prepared, places, done));
                        });
    return indexedDocument(std::move(*walked));
}

}  // namespace axf::index
