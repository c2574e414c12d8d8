// The mapping of an indexed document: the label of every numbered node, by
// position (slot 0 numbers no node). An element's label is its name, an
// attribute element's "@" and the attribute's name, a text's the text.
//
// A label takes 4 bytes: the number of a name for elements and attribute
// elements, or the place of the text in a pool of texts. The pool grows in
// chunks that never move, so labels read from it stay valid for the whole
// run; short texts are filed once however often they occur. The labels and
// the pool are large blocks of their own (common/PageMemory.h): reserved as
// address space, touched only where written, never cleared.
// Copies share one mapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <string_view>

namespace axf::index {

class Mapping {
public:
    // Slot 0 alone.
    Mapping();
    // Positions 0 .. count - 1, each labelled `label`.
    Mapping(std::size_t count, std::string_view label);
    // The labels in position order, slot 0 first.
    Mapping(std::initializer_list<std::string_view> labels);

    std::size_t size() const;
    bool empty() const { return size() == 0; }
    std::string_view operator[](std::size_t position) const;
    // The name number given to a label that is a text.
    static constexpr std::uint32_t kNoName = ~std::uint32_t(0);
    // The stored labels, and the name number (or kNoName) of one of them.
    const std::uint32_t* raw() const;
    static std::uint32_t nameOf(std::uint32_t raw) { return (raw & 0x80000000u) ? (raw & 0x7FFFFFFFu) : kNoName; }

    // Building, in position order.
    // The number of a name, given once per distinct name (kept for the run).
    std::uint32_t nameNumber(std::string_view name);
    void pushName(std::uint32_t number);
    // A text, copied (or, when short and filed before, shared).
    void pushText(std::string_view text);
    // The same for a text whose bytes stay where they are until the next
    // flushTexts(): it is filed a few texts later, in the same order, its
    // place in the table of short texts fetched from memory meanwhile.
    // Labels are read only after finishBuilding().
    void pushTextInPlace(std::string_view text);
    // Every text pushed in place is filed.
    void flushTexts();
    // Room for about this many labels in all, and pool room for texts read
    // from a document of textBytes (address space alone).
    void reserve(std::size_t labels, std::size_t textBytes = 0);
    std::size_t capacity() const;
    // Building is over: the table that finds texts filed before is dropped,
    // and the room reserved and not used is given back.
    void finishBuilding();

    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;
        const_iterator(const Mapping* m, std::size_t i) : m_(m), i_(i) {}
        std::string_view operator*() const { return (*m_)[i_]; }
        const_iterator& operator++() {
            ++i_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator old = *this;
            ++i_;
            return old;
        }
        bool operator==(const const_iterator& o) const { return i_ == o.i_; }

    private:
        const Mapping* m_;
        std::size_t i_;
    };
    const_iterator begin() const { return {this, 0}; }
    const_iterator end() const { return {this, size()}; }

private:
    struct Store;
    std::shared_ptr<Store> store_;
};

}  // namespace axf::index
