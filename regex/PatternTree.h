// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// The abstract tree of a regular expression, its accessors, updaters,
// predicates, folds and builders.
//
// AbsTree<E> is generic over the element type E of its matchers (char for text
// patterns). A tree is an immutable, shared node (`ABS`): a node kind with its
// fields (`AbsNode`, a variant of the thirteen kinds) and an extra field that
// the position analysis fills. Trees are handled as shared pointers to const
// nodes; subtrees are freely shared between trees. Outside the builders, the
// rest of the engine looks at a node only through the operations below, and
// tests the kind with the predicates before using an accessor or updater
// (which throw axf::InternalError on a kind outside their domain).
//
// Extra field: every builder stores the placeholder; updateExtraRE stores a
// value of any type, and getExtraRE<T> reads it back. Reading the placeholder
// throws axf::Fatal("Not defined yet").
//
// Invalid interval. A text pattern that holds an interval whose maximum is
// below its minimum ("a{5,2}") still parses. Its tree carries the interval as
// a MINMAX (or, with the non-greedy mark, NGMINMAX) node whose minimum is
// greater than its maximum; no builder makes such a node in any other case.
// The automaton construction must call checkInterval(t) (or test
// isInvalidInterval(t)) on every MINMAX/NGMINMAX node it visits while it
// numbers positions: checkInterval throws
// axf::Fatal("Invalid interval in Regular Expression"). Parsing never fires it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>
#include <variant>

#include "common/Fatal.h"
#include "regex/Matchers.h"

namespace axf::regex {

// ---------------------------------------------------------------------------
// Extra field

class Extra {
public:
    Extra() = default;  // the placeholder
    template <class T>
    static Extra of(T value) {
        Extra e;
        e.value_ = std::make_shared<const T>(std::move(value));
        e.type_ = &typeid(T);
        return e;
    }
    template <class T>
    const T& get() const {
        if (!value_) throw Fatal("Not defined yet");
        if (*type_ != typeid(T)) throw InternalError("getExtraRE: extra field of another type");
        return *static_cast<const T*>(value_.get());
    }

private:
    std::shared_ptr<const void> value_;
    const std::type_info* type_ = nullptr;
};

// ---------------------------------------------------------------------------
// Nodes
//
// The kinds keep the engine's short names:
//   leaves     EL (one matcher; `prefix` marks a start anchor), BACKREF (a back
//              reference to a named sub-expression), END (the accepting leaf)
//   one child  SUB (named sub-expression), STAR (x*), PLUS (x+), OPT (x?),
//              MIN (x{m,}), MINMAX (x{m,n}), NGMIN and NGMINMAX (their
//              non-greedy forms)
//   two        CON (concatenation: left then right), ALT (alternation)
// ABS is a node with its extra field; AbsTree<E> (an abstract syntax tree) is
// a shared pointer to one.

template <class E>
struct ABS;
template <class E>
using AbsTree = std::shared_ptr<const ABS<E>>;

template <class E>
struct EL {
    Matcher<E> matcher;
    bool prefix = false;
};
template <class E>
struct BACKREF {
    std::string name;
    BackrefBuilder<E> builder;
};
struct END {};
template <class E>
struct SUB {
    std::string name;
    AbsTree<E> child;
};
template <class E>
struct STAR {
    AbsTree<E> child;
};
template <class E>
struct PLUS {
    AbsTree<E> child;
};
template <class E>
struct OPT {
    AbsTree<E> child;
};
template <class E>
struct MIN {
    std::int32_t m;
    AbsTree<E> child;
};
template <class E>
struct MINMAX {
    std::int32_t m;
    std::int32_t n;
    AbsTree<E> child;
};
template <class E>
struct NGMIN {
    std::int32_t m;
    AbsTree<E> child;
};
template <class E>
struct NGMINMAX {
    std::int32_t m;
    std::int32_t n;
    AbsTree<E> child;
};
template <class E>
struct CON {
    AbsTree<E> left;
    AbsTree<E> right;
};
template <class E>
struct ALT {
    AbsTree<E> left;
    AbsTree<E> right;
};

// The thirteen kinds; the variant index is the kind's tag (EL = 0 ... ALT = 12).
template <class E>
using AbsNode = std::variant<EL<E>, BACKREF<E>, END, SUB<E>, STAR<E>, PLUS<E>, OPT<E>, MIN<E>, MINMAX<E>, NGMIN<E>, NGMINMAX<E>,
                             CON<E>, ALT<E>>;

template <class E>
struct ABS {
    AbsNode<E> node;
    Extra extra;
};

template <class E>
AbsTree<E> makeAbs(AbsNode<E> node, Extra extra = Extra()) {
    return std::make_shared<const ABS<E>>(ABS<E>{std::move(node), std::move(extra)});
}

// ---------------------------------------------------------------------------
// Predicates

template <class E>
bool isElem(const AbsTree<E>& t) {
    return std::holds_alternative<EL<E>>(t->node);
}
template <class E>
bool isBackref(const AbsTree<E>& t) {
    return std::holds_alternative<BACKREF<E>>(t->node);
}
template <class E>
bool isEnd(const AbsTree<E>& t) {
    return std::holds_alternative<END>(t->node);
}
template <class E>
bool isSub(const AbsTree<E>& t) {
    return std::holds_alternative<SUB<E>>(t->node);
}
template <class E>
bool isStar(const AbsTree<E>& t) {
    return std::holds_alternative<STAR<E>>(t->node);
}
template <class E>
bool isPlus(const AbsTree<E>& t) {
    return std::holds_alternative<PLUS<E>>(t->node);
}
template <class E>
bool isOpt(const AbsTree<E>& t) {
    return std::holds_alternative<OPT<E>>(t->node);
}
template <class E>
bool isMin(const AbsTree<E>& t) {
    return std::holds_alternative<MIN<E>>(t->node) || std::holds_alternative<NGMIN<E>>(t->node);
}
template <class E>
bool isMinmax(const AbsTree<E>& t) {
    return std::holds_alternative<MINMAX<E>>(t->node) || std::holds_alternative<NGMINMAX<E>>(t->node);
}
template <class E>
bool isNonGreedy(const AbsTree<E>& t) {
    return std::holds_alternative<NGMIN<E>>(t->node) || std::holds_alternative<NGMINMAX<E>>(t->node);
}
template <class E>
bool isInterval(const AbsTree<E>& t) {
    return isMinmax(t) || isMin(t);
}
// A node with one child: SUB, STAR, PLUS, OPT or a counted repetition.
template <class E>
bool isUnaryNode(const AbsTree<E>& t) {
    return isInterval(t) || isStar(t) || isPlus(t) || isOpt(t) || isSub(t);
}
// A concatenation (CON).
template <class E>
bool isConcat(const AbsTree<E>& t) {
    return std::holds_alternative<CON<E>>(t->node);
}
template <class E>
bool isAlt(const AbsTree<E>& t) {
    return std::holds_alternative<ALT<E>>(t->node);
}
// A node with two children: CON or ALT.
template <class E>
bool isBinaryNode(const AbsTree<E>& t) {
    return isConcat(t) || isAlt(t);
}
template <class E>
bool isLeaf(const AbsTree<E>& t) {
    return isElem(t) || isBackref(t) || isEnd(t);
}

// ---------------------------------------------------------------------------
// Accessors (each accepts only the kinds named; others: InternalError)

template <class E>
const Matcher<E>& getElem(const AbsTree<E>& t) {
    if (auto* p = std::get_if<EL<E>>(&t->node)) return p->matcher;
    throw InternalError("getElem: not an EL leaf");
}
// The prefix mark of an EL leaf; BACKREF and END count as unmarked (false).
template <class E>
bool hasPrefixMark(const AbsTree<E>& t) {
    if (auto* p = std::get_if<EL<E>>(&t->node)) return p->prefix;
    if (isBackref(t) || isEnd(t)) return false;
    throw InternalError("hasPrefixMark: not a leaf");
}
template <class E>
std::pair<std::string, BackrefBuilder<E>> getBackref(const AbsTree<E>& t) {
    if (auto* p = std::get_if<BACKREF<E>>(&t->node)) return {p->name, p->builder};
    throw InternalError("getBackref: not a BACKREF leaf");
}
template <class E>
const std::string& getSubexpName(const AbsTree<E>& t) {
    if (auto* p = std::get_if<SUB<E>>(&t->node)) return p->name;
    throw InternalError("getSubexpName: not a SUB node");
}
template <class E>
std::int32_t getMin(const AbsTree<E>& t) {
    if (auto* p = std::get_if<MIN<E>>(&t->node)) return p->m;
    if (auto* p = std::get_if<MINMAX<E>>(&t->node)) return p->m;
    if (auto* p = std::get_if<NGMIN<E>>(&t->node)) return p->m;
    if (auto* p = std::get_if<NGMINMAX<E>>(&t->node)) return p->m;
    throw InternalError("getMin: not a counted repetition");
}
template <class E>
std::pair<std::int32_t, std::int32_t> getMinMax(const AbsTree<E>& t) {
    if (auto* p = std::get_if<MINMAX<E>>(&t->node)) return {p->m, p->n};
    if (auto* p = std::get_if<NGMINMAX<E>>(&t->node)) return {p->m, p->n};
    throw InternalError("getMinMax: not a MINMAX or NGMINMAX node");
}
template <class T, class E>
const T& getExtraRE(const AbsTree<E>& t) {
    return t->extra.template get<T>();
}

namespace detail {
// The child of a one-child node, or null.
template <class E>
const AbsTree<E>* childPtr(const AbsNode<E>& n) {
    return std::visit(
        [](const auto& v) -> const AbsTree<E>* {
            if constexpr (requires { v.child; })
                return &v.child;
            else
                return nullptr;
        },
        n);
}
}  // namespace detail

template <class E>
const AbsTree<E>& child(const AbsTree<E>& t) {
    if (const AbsTree<E>* c = detail::childPtr<E>(t->node)) return *c;
    throw InternalError("child: not a one-child node");
}
template <class E>
const AbsTree<E>& left(const AbsTree<E>& t) {
    if (auto* p = std::get_if<CON<E>>(&t->node)) return p->left;
    if (auto* p = std::get_if<ALT<E>>(&t->node)) return p->left;
    throw InternalError("left: not a CON or ALT node");
}
template <class E>
const AbsTree<E>& right(const AbsTree<E>& t) {
    if (auto* p = std::get_if<CON<E>>(&t->node)) return p->right;
    if (auto* p = std::get_if<ALT<E>>(&t->node)) return p->right;
    throw InternalError("right: not a CON or ALT node");
}

// ---------------------------------------------------------------------------
// Updaters (the result keeps the extra field of the given node, except for
// updateExtraRE)

template <class E>
AbsTree<E> updateChild(AbsTree<E> c, const AbsTree<E>& t) {
    AbsNode<E> n = t->node;
    bool ok = std::visit(
        [&c](auto& v) {
            if constexpr (requires { v.child; }) {
                v.child = std::move(c);
                return true;
            } else {
                return false;
            }
        },
        n);
    if (!ok) throw InternalError("updateChild: not a one-child node");
    return makeAbs<E>(std::move(n), t->extra);
}
template <class E>
AbsTree<E> updateLeft(AbsTree<E> l, const AbsTree<E>& t) {
    if (auto* p = std::get_if<CON<E>>(&t->node)) return makeAbs<E>(CON<E>{std::move(l), p->right}, t->extra);
    if (auto* p = std::get_if<ALT<E>>(&t->node)) return makeAbs<E>(ALT<E>{std::move(l), p->right}, t->extra);
    throw InternalError("updateLeft: not a CON or ALT node");
}
template <class E>
AbsTree<E> updateRight(AbsTree<E> r, const AbsTree<E>& t) {
    if (auto* p = std::get_if<CON<E>>(&t->node)) return makeAbs<E>(CON<E>{p->left, std::move(r)}, t->extra);
    if (auto* p = std::get_if<ALT<E>>(&t->node)) return makeAbs<E>(ALT<E>{p->left, std::move(r)}, t->extra);
    throw InternalError("updateRight: not a CON or ALT node");
}
template <class T, class E>
AbsTree<E> updateExtraRE(T extra, const AbsTree<E>& t) {
    return makeAbs<E>(t->node, Extra::of<T>(std::move(extra)));
}

// ---------------------------------------------------------------------------
// Folds: the accumulator passes through every node once, f(subtree, acc).
// They recurse over the depth of the tree.

template <class E, class A, class F>
A foldPostOrder(F&& f, A z, const AbsTree<E>& t) {
    if (isUnaryNode(t)) {
        z = foldPostOrder<E>(f, std::move(z), child(t));
    } else if (isBinaryNode(t)) {
        z = foldPostOrder<E>(f, std::move(z), left(t));
        z = foldPostOrder<E>(f, std::move(z), right(t));
    }
    return f(t, std::move(z));
}
template <class E, class A, class F>
A foldPreOrder(F&& f, A z, const AbsTree<E>& t) {
    A a = f(t, std::move(z));
    if (isUnaryNode(t)) return foldPreOrder<E>(f, std::move(a), child(t));
    if (isBinaryNode(t)) {
        a = foldPreOrder<E>(f, std::move(a), left(t));
        return foldPreOrder<E>(f, std::move(a), right(t));
    }
    return a;
}

// ---------------------------------------------------------------------------
// Invalid interval (see the header comment)

template <class E>
bool isInvalidInterval(const AbsTree<E>& t) {
    if (!isMinmax(t)) return false;
    auto [m, n] = getMinMax(t);
    return m > n;
}
template <class E>
void checkInterval(const AbsTree<E>& t) {
    if (isInvalidInterval(t)) throw Fatal("Invalid interval in Regular Expression");
}

// ---------------------------------------------------------------------------
// Builders

template <class E>
AbsTree<E> mkEl(Matcher<E> c) {
    return makeAbs<E>(EL<E>{std::move(c), false});
}
// The EL leaf t with its prefix mark set; keeps t's extra field.
template <class E>
AbsTree<E> withPrefixMark(const AbsTree<E>& t) {
    return makeAbs<E>(EL<E>{getElem(t), true}, t->extra);
}
template <class E>
AbsTree<E> mkBackref(std::string name, BackrefBuilder<E> b) {
    return makeAbs<E>(BACKREF<E>{std::move(name), std::move(b)});
}
template <class E>
AbsTree<E> mkEnd() {
    static const AbsTree<E> end = makeAbs<E>(END{});
    return end;
}
template <class E>
AbsTree<E> mkSub(std::string name, AbsTree<E> t) {
    return makeAbs<E>(SUB<E>{std::move(name), std::move(t)});
}
template <class E>
AbsTree<E> mkStar(AbsTree<E> t) {
    return makeAbs<E>(STAR<E>{std::move(t)});
}
template <class E>
AbsTree<E> mkPlus(AbsTree<E> t) {
    return makeAbs<E>(PLUS<E>{std::move(t)});
}
template <class E>
AbsTree<E> mkOpt(AbsTree<E> t) {
    return makeAbs<E>(OPT<E>{std::move(t)});
}
template <class E>
AbsTree<E> mkConcat(AbsTree<E> l, AbsTree<E> r) {
    return makeAbs<E>(CON<E>{std::move(l), std::move(r)});
}
template <class E>
AbsTree<E> mkAlt(AbsTree<E> l, AbsTree<E> r) {
    return makeAbs<E>(ALT<E>{std::move(l), std::move(r)});
}
// CON(t, END); the END leaf is new.
template <class E>
AbsTree<E> addEnd(AbsTree<E> t) {
    return mkConcat<E>(std::move(t), makeAbs<E>(END{}));
}

// The fused leaf of k >= 1 copies of an EL leaf's matcher: one flat leaf.
template <class E>
AbsTree<E> fusedLeaf(std::int64_t k, const AbsTree<E>& t) {
    if (k < 1) throw InternalError("fusedLeaf: count below 1");
    return mkEl<E>(regrepeat<E>(getElem(t), k));
}

// x{n}, n >= 1.
template <class E>
AbsTree<E> mkExact(std::int32_t n, AbsTree<E> t) {
    if (isElem(t)) return fusedLeaf<E>(n, t);
    if (n == 1) return t;
    return makeAbs<E>(MINMAX<E>{n, n, std::move(t)});
}
// x{m,}, m >= 0.
template <class E>
AbsTree<E> mkMin(std::int32_t m, AbsTree<E> t) {
    if (m == 0) return mkStar<E>(std::move(t));
    if (m == 1) return mkPlus<E>(std::move(t));
    if (isElem(t)) return mkConcat<E>(fusedLeaf<E>(std::int64_t(m) - 1, t), mkPlus<E>(t));
    return makeAbs<E>(MIN<E>{m, std::move(t)});
}
// x{m,n}, 0 <= m <= n.
template <class E>
AbsTree<E> mkMinMax(std::int32_t m, std::int32_t n, AbsTree<E> t) {
    if (m == 0 && n == 1) return mkOpt<E>(std::move(t));
    if (m <= 1) return makeAbs<E>(MINMAX<E>{m, n, std::move(t)});
    if (isElem(t))
        return mkConcat<E>(fusedLeaf<E>(std::int64_t(m) - 1, t),
                           makeAbs<E>(MINMAX<E>{1, std::int32_t(std::int64_t(n) - m + 1), t}));
    return makeAbs<E>(MINMAX<E>{m, n, std::move(t)});
}
// The invalid interval x{m,n} with m > n: a MINMAX node carrying both counts
// unchanged, never fused (see the header comment).
template <class E>
AbsTree<E> mkInvalidInterval(std::int32_t m, std::int32_t n, AbsTree<E> t) {
    return makeAbs<E>(MINMAX<E>{m, n, std::move(t)});
}
template <class E>
AbsTree<E> mkMinWithExtra(std::int32_t m, AbsTree<E> t, Extra e) {
    return makeAbs<E>(MIN<E>{m, std::move(t)}, std::move(e));
}
template <class E>
AbsTree<E> mkMinMaxWithExtra(std::int32_t m, std::int32_t n, AbsTree<E> t, Extra e) {
    return makeAbs<E>(MINMAX<E>{m, n, std::move(t)}, std::move(e));
}

// The non-greedy form of a repetition; every other node unchanged.
template <class E>
AbsTree<E> mkNonGreedy(const AbsTree<E>& t) {
    const Extra& e = t->extra;
    auto emptyFirst = [&](AbsTree<E> rest) {
        AbsTree<E> z = mkEl<E>(matchNull<E>());
        return mkAlt<E>(makeAbs<E>(NGMINMAX<E>{0, 1, std::move(z)}, e), std::move(rest));
    };
    if (auto* p = std::get_if<STAR<E>>(&t->node)) return emptyFirst(makeAbs<E>(NGMIN<E>{0, p->child}, e));
    if (auto* p = std::get_if<PLUS<E>>(&t->node)) return makeAbs<E>(NGMIN<E>{1, p->child}, e);
    if (auto* p = std::get_if<OPT<E>>(&t->node)) return emptyFirst(makeAbs<E>(NGMINMAX<E>{0, 1, p->child}, e));
    if (auto* p = std::get_if<MIN<E>>(&t->node)) return makeAbs<E>(NGMIN<E>{p->m, p->child}, e);
    if (auto* p = std::get_if<MINMAX<E>>(&t->node)) {
        AbsTree<E> ng = makeAbs<E>(NGMINMAX<E>{p->m, p->n, p->child}, e);
        if (p->m > 0) return ng;
        return emptyFirst(std::move(ng));
    }
    return t;
}

// Whether the node's body may run more than once.
template <class E>
bool isRepeatable(const AbsTree<E>& t) {
    if (isStar(t) || isPlus(t) || isMin(t)) return true;
    if (isMinmax(t)) return getMinMax(t).second > 1;
    return false;
}

}  // namespace axf::regex
