#include "xml/XML.h"

#include "common/Fatal.h"

namespace axf::xml {

// ---------------------------------------------------------------------------
// AttList

AttList::Block* AttList::allocateBlock(std::size_t capacity) {
    void* raw = ::operator new(sizeof(Block) + capacity * sizeof(Attribute));
    Block* b = static_cast<Block*>(raw);
    b->size = 0;
    b->capacity = capacity;
    return b;
}

void AttList::moveInto(Block* grown) noexcept {
    const std::size_t n = size();
    for (std::size_t i = 0; i < n; ++i) {
        Attribute& a = items(block_)[i];
        ::new (static_cast<void*>(items(grown) + i)) Attribute(std::move(a));
        a.~Attribute();
    }
    grown->size = n;
    ::operator delete(block_);
    block_ = grown;
}

void AttList::reserve(std::size_t n) {
    if (n <= capacity()) return;
    moveInto(allocateBlock(n));
}

void AttList::clear() noexcept {
    if (!block_) return;
    for (std::size_t i = block_->size; i-- > 0;) items(block_)[i].~Attribute();
    block_->size = 0;
}

void AttList::release() noexcept {
    clear();
    ::operator delete(block_);
    block_ = nullptr;
}

void showAt(int, const AttList& atts, std::string& out) {
    out += '[';
    bool first = true;
    for (const Attribute& a : atts) {
        if (!first) out += ',';
        first = false;
        showAt(0, a, out);
    }
    out += ']';
}

const std::string& BoxedText::empty() noexcept {
    static const std::string none;
    return none;
}

// ---------------------------------------------------------------------------
// Node values

void raiseIfFailure(const XMLNode& n) {
    if (const auto* f = std::get_if<FailureNode>(&n)) throw InternalError(f->message);
}

std::optional<std::string> nodeName(const XMLNode& n) {
    if (const auto* e = std::get_if<ELNode>(&n)) return e->name;
    if (const auto* p = std::get_if<PINode>(&n)) return p->target;
    if (const auto* r = std::get_if<ENNode>(&n)) return r->name;
    return std::nullopt;
}

const AttList& xAttlist(const XMLNode& n) {
    static const AttList none;
    if (const auto* e = std::get_if<ELNode>(&n)) return e->attributes;
    return none;
}

std::optional<std::string> xAttval(std::string_view name, const XMLNode& n) {
    for (const Attribute& a : xAttlist(n))
        if (a.first == name) return a.second;
    return std::nullopt;
}

const AttList& attributes(const Tree* t) { return xAttlist(treeRoot(t)); }

std::optional<std::string> attval(std::string_view name, const Tree* t) { return xAttval(name, treeRoot(t)); }

std::string stringValue(const Tree* t) {
    const XMLNode& v = t->value;
    raiseIfFailure(v);
    if (const auto* x = std::get_if<TXNode>(&v)) return x->text;
    if (const auto* p = std::get_if<PINode>(&v)) return p->text.str();
    if (const auto* c = std::get_if<CXNode>(&v)) return c->text;
    if (std::holds_alternative<ENNode>(v)) return {};
    std::string out;
    forEachPreorder(t, [&](const XMLNode& n) {
        if (const auto* x = std::get_if<TXNode>(&n)) out += x->text;
        raiseIfFailure(n);
    });
    return out;
}

void showAt(int prec, const XMLNode& n, std::string& out) {
    if (std::holds_alternative<RTNode>(n)) {
        out += "RTNode";
        return;
    }
    openParen(prec, out);
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, ELNode>) {
                out += "ELNode ";
                showString(v.name, out);
                out += ' ';
                showAt(11, v.attributes, out);
            } else if constexpr (std::is_same_v<T, TXNode>) {
                out += "TXNode ";
                showString(v.text, out);
            } else if constexpr (std::is_same_v<T, PINode>) {
                out += "PINode ";
                showString(v.target, out);
                out += ' ';
                showString(v.text.str(), out);
            } else if constexpr (std::is_same_v<T, CXNode>) {
                out += "CXNode ";
                showString(v.text, out);
            } else if constexpr (std::is_same_v<T, ENNode>) {
                out += "ENNode ";
                showString(v.name, out);
            } else if constexpr (std::is_same_v<T, FailureNode>) {
                out += "FailureNode ";
                showString(v.message, out);
            } else {
                static_assert(std::is_same_v<T, RTNode>, "a node kind without a printed form");
            }
        },
        n);
    closeParen(prec, out);
}

}  // namespace axf::xml
