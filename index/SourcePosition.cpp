#include "index/SourcePositionInternal.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "index/TextPreparation.h"

namespace axf::index {

namespace {

// "NAME:LINE:COLUMN: ", the head of a message about that place; "" for an
// origin of no name.
std::string placePrefix(const DocumentOrigin& origin, TextPlace place) {
    if (origin.name.empty()) return {};
    return origin.name + ":" + std::to_string(place.line) + ":" + std::to_string(place.column) + ": ";
}

// "NAME: ", for a message about a document whose place is not known; "" for
// an origin of no name.
std::string documentPrefix(const DocumentOrigin& origin) {
    if (origin.name.empty()) return {};
    return origin.name + ": ";
}

}  // namespace

TextPlace placeInText(std::string_view text, std::size_t offset, const DocumentOrigin& origin) {
    offset = std::min(offset, text.size());
    TextPlace place;
    std::size_t lineStart = 0;  // offset of the first byte of the byte's line
    const char* data = text.data();
    for (std::size_t at = 0; at < offset;) {
        const void* lf = std::memchr(data + at, '\n', offset - at);
        if (!lf) break;
        at = static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1;
        ++place.line;
        lineStart = at;
    }
    place.column = std::int64_t(offset - lineStart) + 1;
    if (place.line == 1) place.column += std::int64_t(origin.leadingBytes);
    return place;
}

// ---------------------------------------------------------------------------
// OffsetList

std::size_t OffsetList::operator[](std::size_t i) const {
    const std::size_t high = std::upper_bound(highSteps_.begin(), highSteps_.end(), i) - highSteps_.begin();
    return (high << 32) | low_[i];
}

std::size_t OffsetList::countUpTo(std::size_t offset) const {
    std::size_t lo = 0, hi = low_.size();
    while (lo < hi) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if ((*this)[mid] <= offset)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// ---------------------------------------------------------------------------
// PreparationRecord

std::size_t PreparationRecord::originalOffset(std::size_t k, std::size_t preparedSize) const {
    if (k >= preparedSize) return originalSize_;
    // The bytes removed before k's byte was written: those recorded at
    // prepared offsets up to k.
    return k + removed_.countUpTo(k);
}

TextPlace PreparationRecord::place(std::size_t k, std::size_t preparedSize, const DocumentOrigin& origin) const {
    k = std::min(k, preparedSize);
    const std::size_t before = removed_.countUpTo(k);  // removed entries before the byte
    const std::size_t original = k == preparedSize ? originalSize_ : k + before;
    // The removed line feeds among them, and the last of them.
    std::size_t lineFeeds = 0;
    std::size_t lastLineFeed = kNoOffset;  // its original offset
    const std::size_t fullWords = before / 64;
    for (std::size_t w = 0; w < fullWords; ++w) lineFeeds += std::size_t(std::popcount(lineFeedBits_[w]));
    std::uint64_t tail = 0;
    if (before % 64) {
        tail = lineFeedBits_[fullWords] & ((std::uint64_t(1) << (before % 64)) - 1);
        lineFeeds += std::size_t(std::popcount(tail));
    }
    if (tail) {
        const std::size_t i = fullWords * 64 + 63 - std::size_t(std::countl_zero(tail));
        lastLineFeed = removed_[i] + i;
    } else {
        for (std::size_t w = fullWords; w-- > 0;)
            if (lineFeedBits_[w]) {
                const std::size_t i = w * 64 + 63 - std::size_t(std::countl_zero(lineFeedBits_[w]));
                lastLineFeed = removed_[i] + i;
                break;
            }
    }
    // The line feeds turned into blanks before the byte.
    const std::size_t blanked = k == 0 ? 0 : blanked_.countUpTo(k - 1);
    if (blanked > 0) {
        const std::size_t j = blanked_[blanked - 1];
        const std::size_t at = j + removed_.countUpTo(j);
        if (lastLineFeed == kNoOffset || at > lastLineFeed) lastLineFeed = at;
    }
    TextPlace place;
    place.line = 1 + std::int64_t(lineFeeds + blanked);
    if (lastLineFeed == kNoOffset)
        place.column = std::int64_t(original + origin.leadingBytes) + 1;
    else
        place.column = std::int64_t(original - lastLineFeed);
    return place;
}

// ---------------------------------------------------------------------------
// PreparedPlaces

std::size_t PlacesInText::originalOffset(std::size_t k) const { return index::originalOffset(original_, k); }

std::string PlacesInText::prefix(std::size_t k) const {
    if (origin_.name.empty()) return {};
    if (k == kNoOffset) return documentPrefix(origin_);
    return placePrefix(origin_, placeInText(original_, originalOffset(k), origin_));
}

std::string PlacesInRecord::prefix(std::size_t k) const {
    if (origin_.name.empty()) return {};
    if (k == kNoOffset) return documentPrefix(origin_);
    return placePrefix(origin_, record_.place(k, preparedSize_, origin_));
}

}  // namespace axf::index
