// Where a byte of a document stands in the text as the user has it, for the
// messages that point into a document.
//
// Before the indexer parses a document, bytes are taken out of it: a
// byte-order mark at its start, carriage returns before line feeds (when a
// file is read), then the text preparation removes line feeds and tabs from
// character data and turns them into blanks inside markup. The parser's
// offsets are offsets in the prepared text. A message gives the document's
// name and the line and column of the byte in the user's text, both counted
// from 1: lines by line feeds, columns in bytes (a tab is one byte, the
// mark's three bytes stand on line 1). A carriage return before a line feed
// ends its line, so dropping it moves no byte to another line or column.
//
// The places are worked out only when a message is made: the preparation
// keeps a sparse record of what it removed (one entry per removed byte, one
// per line feed turned into a blank), and a text at hand is read again up to
// the byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace axf::index {

// Where a document comes from, as its messages name it.
struct DocumentOrigin {
    // "bad.xml" (the file name as the user wrote it), "inline document",
    // "result of the nested filter"; empty for a text of no name, whose
    // messages say nothing of places.
    std::string name;
    // Bytes taken from the start before the text reached the indexer (a
    // byte-order mark).
    std::size_t leadingBytes = 0;
};

inline constexpr std::size_t kNoOffset = ~std::size_t(0);

// A line and a column, counted from 1.
struct TextPlace {
    std::int64_t line = 1;
    std::int64_t column = 1;
};

// An ascending list of offsets, 4 bytes an entry: the low 32 bits of each,
// and the entry indexes at which the high bits step up.
class OffsetList {
public:
    void push_back(std::size_t offset) {
        while ((offset >> 32) > high_) {
            highSteps_.push_back(low_.size());
            ++high_;
        }
        low_.push_back(static_cast<std::uint32_t>(offset));
    }
    std::size_t size() const { return low_.size(); }
    std::size_t operator[](std::size_t i) const;
    // The number of entries at most `offset`.
    std::size_t countUpTo(std::size_t offset) const;

private:
    std::vector<std::uint32_t> low_;
    std::vector<std::size_t> highSteps_;  // highSteps_[h]: the first entry whose high bits exceed h
    std::size_t high_ = 0;
};

// What the text preparation took out of a text or changed in it, recorded
// as it goes: each removed byte at the prepared offset before which it stood
// (several at one offset in their order), whether it was a line feed, and
// each line feed turned into a blank at its prepared offset.
class PreparationRecord {
public:
    explicit PreparationRecord(std::size_t originalSize) : originalSize_(originalSize) {}
    void removed(std::size_t preparedOffset, bool lineFeed) {
        const std::size_t i = removed_.size();
        removed_.push_back(preparedOffset);
        if ((i & 63) == 0) lineFeedBits_.push_back(0);
        if (lineFeed) lineFeedBits_.back() |= std::uint64_t(1) << (i & 63);
    }
    void blankedLineFeed(std::size_t preparedOffset) { blanked_.push_back(preparedOffset); }

    // The offset in the original text of the prepared byte k (the original's
    // length from the prepared text's end on).
    std::size_t originalOffset(std::size_t k, std::size_t preparedSize) const;
    // The place of the prepared byte k (the end of the original text from
    // the prepared text's end on).
    TextPlace place(std::size_t k, std::size_t preparedSize, const DocumentOrigin& origin) const;

private:
    std::size_t originalSize_;
    OffsetList removed_;
    std::vector<std::uint64_t> lineFeedBits_;  // bit i: removed entry i was a line feed
    OffsetList blanked_;
};

// The prepared offsets of a document told in the user's terms: a text at
// hand, or a preparation record.
class PreparedPlaces {
public:
    virtual ~PreparedPlaces() = default;
    // The offset in the text the indexer was given (after the byte-order
    // mark and the carriage returns) of the prepared byte k.
    virtual std::size_t originalOffset(std::size_t k) const = 0;
    // "NAME:LINE:COLUMN: " of the prepared byte k ("NAME: " when k is
    // kNoOffset), or "" for an origin of no name.
    virtual std::string prefix(std::size_t k) const = 0;
};

// Over the original text, at hand for as long as the places are asked for.
class PlacesInText final : public PreparedPlaces {
public:
    PlacesInText(std::string_view original, const DocumentOrigin& origin) : original_(original), origin_(origin) {}
    std::size_t originalOffset(std::size_t k) const override;
    std::string prefix(std::size_t k) const override;

private:
    std::string_view original_;
    const DocumentOrigin& origin_;
};

// Over the record of an in-place preparation; `preparedSize` is read when a
// place is asked for.
class PlacesInRecord final : public PreparedPlaces {
public:
    PlacesInRecord(const PreparationRecord& record, const std::size_t& preparedSize, const DocumentOrigin& origin)
        : record_(record), preparedSize_(preparedSize), origin_(origin) {}
    std::size_t originalOffset(std::size_t k) const override { return record_.originalOffset(k, preparedSize_); }
    std::string prefix(std::size_t k) const override;

private:
    const PreparationRecord& record_;
    const std::size_t& preparedSize_;
    const DocumentOrigin& origin_;
};

}  // namespace axf::index
