// The XML library: the tree every part of the system works on, and the
// reading and writing of XML text. This header is its entry.
//
// Stages, in the order a document goes through them:
//  1. XMLScanner.h    document text cut into tokens (tags, texts, references,
//                     comments, processing instructions, declarations).
//  2. XMLParse.h      tokens turned into parse events, with the document type
//                     declaration read by DTDParse.h into the records of DTD.h
//                     (the grammar is written with the combinators of
//                     DetParser.h and ParserHelpers.h).
//  3. IndentedXML.h   trees written as indented XML: the one printer of result
//                     documents (app/ResultPrinter.h) and of the indexer's
//                     dumps (index/IndexDump.h); on the run path.
// A run reads documents through the scanner and, for documents the indexer
// does not read straight, the event parser; it builds no tree from events.
// Library-only, with their tests: XMLTree.h (events turned into a tree under
// a root node, and back) and XMLPrint.h (events and trees written as XML
// text).
// The values themselves: this header (node kinds and accessors), Tree.h (the
// rose tree, immutable once built), Arena.h (where nodes live, for the whole
// run), AssocList.h (the library's ordered name table).
// Show.h (the printed form of values, showAt) is included by Tree.h and
// DTD.h, so every user of a tree sees it; only the diagnostic dumps call it
// (index/IndexDump.h, query's AnnotationDump and EntryDump), and no run calls
// them. Library-only, for inspection and tests:
// XMLEventShow.h (the constructor notation of events and its reader).
// Internal (this folder and its tests): ParserHelpers.h, XMLScannerInternal.h
// (token kind names), XMLParseInternal.h and DTDParseInternal.h (the grammar
// pieces of the two parsers).
//
// XMLNode: the node value of every tree of the system (documents, queries,
// rule trees, result documents), and Tree, the rose tree over it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "xml/Tree.h"

namespace axf::xml {

using Attribute = std::pair<std::string, std::string>;  // (name, value)

// The attribute list of an element: a vector of attributes in one pointer.
// An empty list holds no storage; a filled one keeps its size, capacity and
// attributes in one allocation. Most elements of the trees a run builds have
// no attributes, and every tree node holds a list, so the node stays small.
class AttList {
public:
    using value_type = Attribute;
    using size_type = std::size_t;
    using difference_type = std::ptrdiff_t;
    using reference = Attribute&;
    using const_reference = const Attribute&;
    using iterator = Attribute*;
    using const_iterator = const Attribute*;
    using reverse_iterator = std::reverse_iterator<iterator>;
    using const_reverse_iterator = std::reverse_iterator<const_iterator>;

    AttList() noexcept = default;
    AttList(std::initializer_list<Attribute> atts) : AttList(atts.begin(), atts.end()) {}
    template <std::input_iterator It>
    AttList(It first, It last) {
        if constexpr (std::forward_iterator<It>) reserve(std::size_t(std::distance(first, last)));
        for (; first != last; ++first) emplace_back(*first);
    }
    AttList(const AttList& other) : AttList(other.begin(), other.end()) {}
    AttList(AttList&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    AttList& operator=(const AttList& other) {
        if (this != &other) {
            AttList copy(other);
            swap(copy);
        }
        return *this;
    }
    AttList& operator=(AttList&& other) noexcept {
        AttList taken(std::move(other));
        swap(taken);
        return *this;
    }
    ~AttList() { release(); }

    std::size_t size() const noexcept { return block_ ? block_->size : 0; }
    std::size_t capacity() const noexcept { return block_ ? block_->capacity : 0; }
    bool empty() const noexcept { return size() == 0; }
    Attribute* data() noexcept { return block_ ? items(block_) : nullptr; }
    const Attribute* data() const noexcept { return block_ ? items(block_) : nullptr; }
    iterator begin() noexcept { return data(); }
    iterator end() noexcept { return data() + size(); }
    const_iterator begin() const noexcept { return data(); }
    const_iterator end() const noexcept { return data() + size(); }
    const_iterator cbegin() const noexcept { return begin(); }
    const_iterator cend() const noexcept { return end(); }
    reverse_iterator rbegin() noexcept { return reverse_iterator(end()); }
    reverse_iterator rend() noexcept { return reverse_iterator(begin()); }
    const_reverse_iterator rbegin() const noexcept { return const_reverse_iterator(end()); }
    const_reverse_iterator rend() const noexcept { return const_reverse_iterator(begin()); }
    Attribute& operator[](std::size_t i) noexcept { return data()[i]; }
    const Attribute& operator[](std::size_t i) const noexcept { return data()[i]; }
    Attribute& front() noexcept { return data()[0]; }
    const Attribute& front() const noexcept { return data()[0]; }
    Attribute& back() noexcept { return data()[size() - 1]; }
    const Attribute& back() const noexcept { return data()[size() - 1]; }

    void reserve(std::size_t n);
    void clear() noexcept;
    void push_back(const Attribute& a) { emplace_back(a); }
    void push_back(Attribute&& a) { emplace_back(std::move(a)); }
    template <class... Args>
    Attribute& emplace_back(Args&&... args) {
        if (size() < capacity()) {
            Attribute* slot = ::new (static_cast<void*>(data() + size())) Attribute(std::forward<Args>(args)...);
            ++block_->size;
            return *slot;
        }
        // The new attribute is made before the old ones move, so that an
        // argument that refers into this list stays valid.
        Block* grown = allocateBlock(size() == 0 ? 1 : 2 * size());
        Attribute* slot = nullptr;
        try {
            slot = ::new (static_cast<void*>(items(grown) + size())) Attribute(std::forward<Args>(args)...);
        } catch (...) {
            ::operator delete(grown);
            throw;
        }
        moveInto(grown);
        ++block_->size;
        return *slot;
    }
    void swap(AttList& other) noexcept { std::swap(block_, other.block_); }

    friend bool operator==(const AttList& a, const AttList& b) { return std::equal(a.begin(), a.end(), b.begin(), b.end()); }

private:
    struct Block {
        std::size_t size;
        std::size_t capacity;
    };
    static_assert(sizeof(Block) % alignof(Attribute) == 0);

    static Attribute* items(Block* b) noexcept { return reinterpret_cast<Attribute*>(b + 1); }
    static const Attribute* items(const Block* b) noexcept { return reinterpret_cast<const Attribute*>(b + 1); }
    static Block* allocateBlock(std::size_t capacity);
    // Moves the attributes into `grown` (whose size is set) and frees the
    // old block.
    void moveInto(Block* grown) noexcept;
    void release() noexcept;

    Block* block_ = nullptr;
};

// A text kept in an allocation of its own, read as a std::string: for the
// fields of a rare node kind that would otherwise widen every node value.
class BoxedText {
public:
    BoxedText() noexcept = default;
    BoxedText(std::string s) : text_(s.empty() ? nullptr : new std::string(std::move(s))) {}
    BoxedText(const char* s) : BoxedText(std::string(s)) {}
    BoxedText(std::string_view s) : BoxedText(std::string(s)) {}
    BoxedText(const BoxedText& other) : BoxedText(other.str()) {}
    BoxedText(BoxedText&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    BoxedText& operator=(const BoxedText& other) {
        if (this != &other) {
            BoxedText copy(other);
            std::swap(text_, copy.text_);
        }
        return *this;
    }
    BoxedText& operator=(BoxedText&& other) noexcept {
        BoxedText taken(std::move(other));
        std::swap(text_, taken.text_);
        return *this;
    }
    ~BoxedText() { delete text_; }

    const std::string& str() const noexcept { return text_ ? *text_ : empty(); }
    operator const std::string&() const noexcept { return str(); }
    operator std::string_view() const noexcept { return str(); }
    friend bool operator==(const BoxedText& a, const BoxedText& b) { return a.str() == b.str(); }

private:
    static const std::string& empty() noexcept;
    std::string* text_ = nullptr;
};

// The root above a document's top nodes (or a result's); holds nothing.
struct RTNode {};
// An element: its name and its attributes in document order.
struct ELNode {
    std::string name;
    AttList attributes;
};
// A text: its characters.
struct TXNode {
    std::string text;
};
// A processing instruction "<?target text?>": its target and its text.
struct PINode {
    std::string target;
    BoxedText text;
};
// A comment "<!--text-->": its text.
struct CXNode {
    std::string text;
};
// An entity reference "&name;" kept unexpanded: the entity's name.
struct ENNode {
    std::string name;
};
// A part of a result that could not be built, kept in the result tree in its
// place: whatever reads the tree for its content raises axf::InternalError
// with the message (see query/Combination.h). No parsed document or query
// holds one.
struct FailureNode {
    std::string message;
};

using XMLNode = std::variant<RTNode, ELNode, TXNode, PINode, CXNode, ENNode, FailureNode>;

using Tree = RoseTree<XMLNode>;
// A run holds millions of nodes: a node value is a text and a pointer, and
// the child count sits in the value's padding.
static_assert(sizeof(XMLNode) <= 48 && sizeof(Tree) <= 64, "tree nodes grew");
using TreeList = std::vector<const Tree*>;

inline const Tree* makeTree(XMLNode value, std::span<const Tree* const> children) {
    return makeTreeT<XMLNode>(std::move(value), children);
}
inline const Tree* makeTree(XMLNode value, std::initializer_list<const Tree*> children) {
    return makeTreeT<XMLNode>(std::move(value), std::span<const Tree* const>(children.begin(), children.size()));
}
inline const Tree* makeTree(XMLNode value, const TreeList& children) {
    return makeTreeT<XMLNode>(std::move(value), std::span<const Tree* const>(children.data(), children.size()));
}
inline const Tree* leafNode(XMLNode value) { return makeTreeT<XMLNode>(std::move(value), {}); }

// Shorthands for the two kinds built outside the XML library.
inline const Tree* elem(std::string name, std::initializer_list<const Tree*> children = {}) {
    return makeTree(ELNode{std::move(name), {}}, children);
}
inline const Tree* text(std::string t) { return leafNode(TXNode{std::move(t)}); }

// ---------------------------------------------------------------------------
// Accessors. None fails on a node of another kind: it gives an absent
// result, the empty list or the empty text.

// f(name, attributes) for an ELNode, absent otherwise; f runs at most once.
template <class F>
auto xELNode(F&& f, const XMLNode& n) -> std::optional<std::invoke_result_t<F&, const std::string&, const AttList&>> {
    if (const auto* e = std::get_if<ELNode>(&n)) return f(e->name, e->attributes);
    return std::nullopt;
}
// f(text) for a TXNode, absent otherwise.
template <class F>
auto xTXNode(F&& f, const XMLNode& n) -> std::optional<std::invoke_result_t<F&, const std::string&>> {
    if (const auto* t = std::get_if<TXNode>(&n)) return f(t->text);
    return std::nullopt;
}
// f(target, text) for a PINode, absent otherwise.
template <class F>
auto xPINode(F&& f, const XMLNode& n) -> std::optional<std::invoke_result_t<F&, const std::string&, const std::string&>> {
    if (const auto* p = std::get_if<PINode>(&n)) return f(p->target, p->text.str());
    return std::nullopt;
}

// Throws axf::InternalError with the message of a FailureNode; does nothing
// for any other kind.
void raiseIfFailure(const XMLNode& n);

// The name of an ELNode or ENNode, the target of a PINode; absent otherwise.
std::optional<std::string> nodeName(const XMLNode& n);
// The attributes of an ELNode; the empty list otherwise.
const AttList& xAttlist(const XMLNode& n);
// The value of the first attribute with exactly this name.
std::optional<std::string> xAttval(std::string_view name, const XMLNode& n);
const AttList& attributes(const Tree* t);
std::optional<std::string> attval(std::string_view name, const Tree* t);

// The text of a tree: for an RTNode or ELNode root, all TXNode texts in
// preorder; for a TXNode, PINode or CXNode root its own text (the PI's text
// without the target); for an ENNode the empty text. A FailureNode met on
// the way raises its message.
std::string stringValue(const Tree* t);

// Printed form of an attribute list: as a list of pairs.
void showAt(int prec, const AttList& atts, std::string& out);

// Printed form: "RTNode" bare; the other kinds as constructors with their
// fields ("ELNode \"a\" [(\"x\",\"1\")]"), parenthesised at precedence 11.
void showAt(int prec, const XMLNode& n, std::string& out);

}  // namespace axf::xml
