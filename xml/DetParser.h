// Deterministic parser combinators over a token sequence, LL(1) style.
//
// A parser is a callable object `p(in, pos)` that reads tokens of the input
// `in` from the position `pos` and returns a Reply: success with a value and
// the position after the tokens it consumed, or one of two failures:
//
//   FailEmpty     - failure without consuming: the first token did not suit
//                   the parser. `rest` is the position the parser was given,
//                   so an enclosing choice may try its next alternative there.
//   FailConsumed  - failure after consuming: a sequence broke off after its
//                   first part. No enclosing choice, option or repetition
//                   recovers from it; only pTry turns it back into FailEmpty.
//                   `rest` is where the failing primitive stood.
//
// Only the primitives (pCheck, pTest, pSym) look at tokens, one each, and
// only they (and pTry) report FailEmpty with a position of their own. Every
// sequencing operation turns a failure of a later part into FailConsumed,
// whatever the earlier parts consumed.
//
// The input is any object with
//     using Token = ...;
//     const Token* peek(std::size_t pos);   // nullptr at the end
// A position is a plain index, cheap to copy; a token is demanded only when
// a primitive looks at it. Parsers are generic in the input type: each call
// operator is a template, so the value type follows from the input.
//
// Parsers are written in direct style: each returns its Reply, every
// repetition is a loop, and nothing nests a call per element, so long inputs
// use constant stack.
//
// The infix operations of the usual notation are named functions:
//   p <|> q   alt(p, q, ...)          f <$> p   fmap(f, p)
//   x <$ p    constAs(x, p)           p <*> q   ap(p, q)
//   p <* q    seqL(p, q)              p *> q    seqR(p, q)
//   p <**> q  passTo(p, q)            p <^> q   seqPair(p, q)
//   p <?> x   orElse(p, x)
// seqWith(f, p1, ..., pn) is f <$> p1 <*> ... <*> pn for an n-argument f.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace axf::xml {

enum class ParseStatus : std::uint8_t { Ok, FailEmpty, FailConsumed };

template <class V>
struct Reply {
    using value_type = V;
    ParseStatus status = ParseStatus::FailEmpty;
    std::optional<V> value;  // present exactly when status is Ok
    std::size_t rest = 0;

    bool ok() const { return status == ParseStatus::Ok; }
    static Reply success(V v, std::size_t rest) {
        Reply r;
        r.status = ParseStatus::Ok;
        r.value.emplace(std::move(v));
        r.rest = rest;
        return r;
    }
    // Success with the value made by fn(), built in place.
    template <class Fn>
    static Reply successWith(Fn&& fn, std::size_t rest) {
        Reply r;
        r.status = ParseStatus::Ok;
        r.value.emplace(std::forward<Fn>(fn)());
        r.rest = rest;
        return r;
    }
    static Reply failEmpty(std::size_t pos) { return Reply{ParseStatus::FailEmpty, std::nullopt, pos}; }
    static Reply failConsumed(std::size_t pos) { return Reply{ParseStatus::FailConsumed, std::nullopt, pos}; }
    template <class W>
    static Reply failureOf(const Reply<W>& r) {
        return Reply{r.status, std::nullopt, r.rest};
    }
};

// The value type of parser P run on input In.
template <class P, class In>
using ValueOf = typename decltype(std::declval<const P&>()(std::declval<In&>(), std::size_t{}))::value_type;

// The empty value of parsers that yield nothing.
using Unit = std::monostate;

// A type-erased parser for input In yielding V: holds any parser object.
template <class In, class V>
class P {
public:
    P() = default;
    template <class Q, class = std::enable_if_t<!std::is_same_v<std::decay_t<Q>, P>>>
    P(Q q) : fn_(std::move(q)) {}  // NOLINT: implicit by design
    Reply<V> operator()(In& in, std::size_t pos) const { return fn_(in, pos); }

private:
    std::function<Reply<V>(In&, std::size_t)> fn_;
};

// ---- running -------------------------------------------------------------

// The value of p and the position after it, or nothing when p fails (of
// either kind). The input need not be used up.
template <class Pr, class In>
constexpr auto pRun(const Pr& p, In& in, std::size_t pos = 0) -> std::optional<std::pair<ValueOf<Pr, In>, std::size_t>> {
    auto r = p(in, pos);
    if (!r.ok()) return std::nullopt;
    return std::make_pair(std::move(*r.value), r.rest);
}

// ---- primitives ----------------------------------------------------------

template <class T>
struct Succeed {
    T x;
    template <class In>
    Reply<T> operator()(In&, std::size_t pos) const {
        return Reply<T>::success(x, pos);
    }
};
template <class T>
constexpr Succeed<T> pSucceed(T x) {
    return {std::move(x)};
}

// f maps a token to an optional value.
template <class F>
struct Check {
    F f;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        using Opt = std::decay_t<std::invoke_result_t<const F&, const typename In::Token&>>;
        using V = typename Opt::value_type;
        const auto* tok = in.peek(pos);
        if (!tok) return Reply<V>::failEmpty(pos);
        Reply<V> r{ParseStatus::Ok, f(*tok), pos + 1};
        if (!r.value) {
            r.status = ParseStatus::FailEmpty;
            r.rest = pos;
        }
        return r;
    }
};
template <class F>
constexpr Check<F> pCheck(F f) {
    return {std::move(f)};
}

// pred holds for the token; the value is the token itself.
template <class F>
struct Test {
    F pred;
    template <class In>
    Reply<typename In::Token> operator()(In& in, std::size_t pos) const {
        using V = typename In::Token;
        const auto* tok = in.peek(pos);
        if (!tok || !pred(*tok)) return Reply<V>::failEmpty(pos);
        return Reply<V>::success(*tok, pos + 1);
    }
};
template <class F>
constexpr Test<F> pTest(F pred) {
    return {std::move(pred)};
}

// The token equals s (s as the left operand); the value is the input's token.
template <class T>
struct Sym {
    T s;
    template <class In>
    Reply<typename In::Token> operator()(In& in, std::size_t pos) const {
        using V = typename In::Token;
        const auto* tok = in.peek(pos);
        if (!tok || !(s == *tok)) return Reply<V>::failEmpty(pos);
        return Reply<V>::success(*tok, pos + 1);
    }
};
template <class T>
constexpr Sym<T> pSym(T s) {
    return {std::move(s)};
}

// ---- choice and mapping --------------------------------------------------

// Tries the alternatives left to right; the next one only after a failure
// without consuming of the one before.
template <class... Ps>
struct Alt {
    std::tuple<Ps...> ps;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        auto r = std::get<0>(ps)(in, pos);
        tryFrom<1>(r, in, pos);
        return r;
    }

private:
    template <std::size_t I, class R, class In>
    void tryFrom(R& r, In& in, std::size_t pos) const {
        if constexpr (I < sizeof...(Ps)) {
            if (r.status != ParseStatus::FailEmpty) return;
            r = std::get<I>(ps)(in, pos);
            tryFrom<I + 1>(r, in, pos);
        }
    }
};
template <class... Ps>
constexpr Alt<Ps...> alt(Ps... ps) {
    return {std::tuple<Ps...>(std::move(ps)...)};
}

template <class F, class Pr>
struct Fmap {
    F f;
    Pr p;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        using V = std::decay_t<std::invoke_result_t<const F&, ValueOf<Pr, In>&&>>;
        auto r = p(in, pos);
        if (!r.ok()) return Reply<V>::failureOf(r);
        return Reply<V>::successWith([&] { return f(std::move(*r.value)); }, r.rest);
    }
};
template <class F, class Pr>
constexpr Fmap<F, Pr> fmap(F f, Pr p) {
    return {std::move(f), std::move(p)};
}

template <class T, class Pr>
struct ConstAs {
    T x;
    Pr p;
    template <class In>
    Reply<T> operator()(In& in, std::size_t pos) const {
        auto r = p(in, pos);
        if (!r.ok()) return Reply<T>::failureOf(r);
        return Reply<T>::success(x, r.rest);
    }
};
template <class T, class Pr>
constexpr ConstAs<T, Pr> constAs(T x, Pr p) {
    return {std::move(x), std::move(p)};
}

// ---- sequencing ----------------------------------------------------------

// Runs p1 ... pn in turn and combines their values with f. A failure of p1
// is the sequence's failure, of the same kind; a failure of any later part
// is a failure after consuming.
template <class F, class... Ps>
struct SeqWith {
    F f;
    std::tuple<Ps...> ps;

    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        using V = std::decay_t<std::invoke_result_t<const F&, ValueOf<Ps, In>&&...>>;
        std::tuple<std::optional<ValueOf<Ps, In>>...> vals;
        ParseStatus status = ParseStatus::Ok;
        std::size_t at = pos;
        runParts<0>(in, vals, status, at);
        if (status != ParseStatus::Ok) return Reply<V>{status, std::nullopt, at};
        return Reply<V>::successWith([&] { return std::apply([&](auto&... v) { return f(std::move(*v)...); }, vals); }, at);
    }

private:
    template <std::size_t I, class In, class Vals>
    void runParts(In& in, Vals& vals, ParseStatus& status, std::size_t& at) const {
        if constexpr (I < sizeof...(Ps)) {
            auto r = std::get<I>(ps)(in, at);
            if (!r.ok()) {
                status = (I == 0) ? r.status : ParseStatus::FailConsumed;
                at = r.rest;
                return;
            }
            std::get<I>(vals).emplace(std::move(*r.value));
            at = r.rest;
            runParts<I + 1>(in, vals, status, at);
        }
    }
};
template <class F, class... Ps>
constexpr SeqWith<F, Ps...> seqWith(F f, Ps... ps) {
    return {std::move(f), std::tuple<Ps...>(std::move(ps)...)};
}

// p <*> q: p yields a function, applied to q's value.
template <class Pp, class Pq>
constexpr auto ap(Pp p, Pq q) {
    return seqWith([](auto&& fn, auto&& w) { return fn(std::forward<decltype(w)>(w)); }, std::move(p), std::move(q));
}
// p <* q: p's value.
template <class Pp, class Pq>
constexpr auto seqL(Pp p, Pq q) {
    return seqWith([](auto&& v, auto&&) { return std::forward<decltype(v)>(v); }, std::move(p), std::move(q));
}
// p *> q: q's value.
template <class Pp, class Pq>
constexpr auto seqR(Pp p, Pq q) {
    return seqWith([](auto&&, auto&& w) { return std::forward<decltype(w)>(w); }, std::move(p), std::move(q));
}
// p <**> q: q yields a function, applied to p's value.
template <class Pp, class Pq>
constexpr auto passTo(Pp p, Pq q) {
    return seqWith([](auto&& v, auto&& fn) { return fn(std::forward<decltype(v)>(v)); }, std::move(p), std::move(q));
}
// p <^> q: the pair of both values.
template <class Pp, class Pq>
constexpr auto seqPair(Pp p, Pq q) {
    return seqWith([](auto&& v, auto&& w) { return std::make_pair(std::forward<decltype(v)>(v), std::forward<decltype(w)>(w)); },
                   std::move(p), std::move(q));
}

// ---- options -------------------------------------------------------------

// p <?> x: x without consuming when p fails without consuming.
template <class Pr, class T>
struct OrElse {
    Pr p;
    T x;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        using V = ValueOf<Pr, In>;
        auto r = p(in, pos);
        if (r.status == ParseStatus::FailEmpty) return Reply<V>::success(x, r.rest);
        return r;
    }
};
template <class Pr, class T>
constexpr OrElse<Pr, T> orElse(Pr p, T x) {
    return {std::move(p), std::move(x)};
}

template <class Pr>
struct Maybe {
    Pr p;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        using V = std::optional<ValueOf<Pr, In>>;
        auto r = p(in, pos);
        if (r.ok()) return Reply<V>::success(V(std::move(*r.value)), r.rest);
        if (r.status == ParseStatus::FailEmpty) return Reply<V>::success(V(), r.rest);
        return Reply<V>::failureOf(r);
    }
};
template <class Pr>
constexpr Maybe<Pr> pMaybe(Pr p) {
    return {std::move(p)};
}

// The one backtracking operation: a failure after consuming becomes a
// failure without consuming at the start position.
template <class Pr>
struct Try {
    Pr p;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        auto r = p(in, pos);
        if (r.status == ParseStatus::FailConsumed) {
            r.status = ParseStatus::FailEmpty;
            r.rest = pos;
        }
        return r;
    }
};
template <class Pr>
constexpr Try<Pr> pTry(Pr p) {
    return {std::move(p)};
}

// ---- repetition ----------------------------------------------------------
// Greedy: an element parser is run until it fails without consuming. A
// failure after consuming at any element fails the whole repetition after
// consuming. A repetition never fails without consuming. The element parser
// must consume whenever it succeeds.

namespace detail {
template <class Pr, class In>
constexpr auto runList(const Pr& p, In& in, std::size_t pos) {
    using V = std::vector<ValueOf<Pr, In>>;
    V out;
    for (;;) {
        auto r = p(in, pos);
        if (r.status == ParseStatus::FailEmpty) return Reply<V>::success(std::move(out), r.rest);
        if (r.status == ParseStatus::FailConsumed) return Reply<V>::failConsumed(r.rest);
        out.push_back(std::move(*r.value));
        pos = r.rest;
    }
}
}  // namespace detail

// The values in input order.
template <class Pr>
struct List {
    Pr p;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        return detail::runList(p, in, pos);
    }
};
template <class Pr>
constexpr List<Pr> pList(Pr p) {
    return {std::move(p)};
}

// op(a1, op(a2, ... op(ak, e))).
template <class Op, class E, class Pr>
struct Foldr {
    Op op;
    E e;
    Pr p;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        auto items = detail::runList(p, in, pos);
        if (!items.ok()) return Reply<E>::failureOf(items);
        E acc = e;
        auto& xs = *items.value;
        for (std::size_t i = xs.size(); i-- > 0;) acc = op(std::move(xs[i]), std::move(acc));
        return Reply<E>::success(std::move(acc), items.rest);
    }
};
template <class Op, class E, class Pr>
constexpr Foldr<Op, E, Pr> pFoldr(Op op, E e, Pr p) {
    return {std::move(op), std::move(e), std::move(p)};
}

// op(... op(op(e, a1), a2) ..., ak), folding as the elements arrive. For an
// associative op with e as its unit (string concatenation) this equals the
// right fold, without keeping the elements or copying a growing accumulator.
template <class Op, class E, class Pr>
struct Foldl {
    Op op;
    E e;
    Pr p;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        E acc = e;
        for (;;) {
            auto r = p(in, pos);
            if (r.status == ParseStatus::FailEmpty) return Reply<E>::success(std::move(acc), r.rest);
            if (r.status == ParseStatus::FailConsumed) return Reply<E>::failConsumed(r.rest);
            acc = op(std::move(acc), std::move(*r.value));
            pos = r.rest;
        }
    }
};
template <class Op, class E, class Pr>
constexpr Foldl<Op, E, Pr> pFoldl(Op op, E e, Pr p) {
    return {std::move(op), std::move(e), std::move(p)};
}

// One or more: a failure of the first element is the failure, of its kind.
template <class Pr>
struct Some {
    Pr p;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        using V = std::vector<ValueOf<Pr, In>>;
        auto first = p(in, pos);
        if (!first.ok()) return Reply<V>::failureOf(first);
        auto rest = detail::runList(p, in, first.rest);
        if (!rest.ok()) return Reply<V>::failConsumed(rest.rest);
        V out;
        out.reserve(rest.value->size() + 1);
        out.push_back(std::move(*first.value));
        for (auto& v : *rest.value) out.push_back(std::move(v));
        return Reply<V>::success(std::move(out), rest.rest);
    }
};
template <class Pr>
constexpr Some<Pr> pSome(Pr p) {
    return {std::move(p)};
}

// ---- operator chains -----------------------------------------------------
// op yields a two-argument function; x an operand. A failure of the first
// operand is the chain's failure, of its kind; an operator that fails after
// consuming, or an operand after an operator that fails in any way, fails the
// chain after consuming.

// Combined from the left: ((x1 o1 x2) o2 x3) ...
template <class Op, class X>
struct Chainl {
    Op op;
    X x;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        using V = ValueOf<X, In>;
        auto first = x(in, pos);
        if (!first.ok()) return first;
        V acc = std::move(*first.value);
        pos = first.rest;
        for (;;) {
            auto o = op(in, pos);
            if (o.status == ParseStatus::FailEmpty) return Reply<V>::success(std::move(acc), o.rest);
            if (o.status == ParseStatus::FailConsumed) return Reply<V>::failConsumed(o.rest);
            auto v = x(in, o.rest);
            if (!v.ok()) return Reply<V>::failConsumed(v.rest);
            acc = (*o.value)(std::move(acc), std::move(*v.value));
            pos = v.rest;
        }
    }
};
template <class Op, class X>
constexpr Chainl<Op, X> pChainl(Op op, X x) {
    return {std::move(op), std::move(x)};
}

// Combined from the right: x1 o1 (x2 o2 (x3 ...)).
template <class Op, class X>
struct Chainr {
    Op op;
    X x;
    template <class In>
    auto operator()(In& in, std::size_t pos) const {
        using V = ValueOf<X, In>;
        using Fn = ValueOf<Op, In>;
        auto first = x(in, pos);
        if (!first.ok()) return first;
        std::vector<V> operands;
        std::vector<Fn> ops;
        operands.push_back(std::move(*first.value));
        pos = first.rest;
        for (;;) {
            auto o = op(in, pos);
            if (o.status == ParseStatus::FailEmpty) break;
            if (o.status == ParseStatus::FailConsumed) return Reply<V>::failConsumed(o.rest);
            auto v = x(in, o.rest);
            if (!v.ok()) return Reply<V>::failConsumed(v.rest);
            ops.push_back(std::move(*o.value));
            operands.push_back(std::move(*v.value));
            pos = v.rest;
        }
        V acc = std::move(operands.back());
        for (std::size_t i = ops.size(); i-- > 0;) acc = ops[i](std::move(operands[i]), std::move(acc));
        return Reply<V>::success(std::move(acc), pos);
    }
};
template <class Op, class X>
constexpr Chainr<Op, X> pChainr(Op op, X x) {
    return {std::move(op), std::move(x)};
}

// ---- a plain input -------------------------------------------------------

// A token sequence held in a vector, all of it available at once.
template <class T>
class VectorInput {
public:
    using Token = T;
    explicit VectorInput(std::vector<T> tokens) : tokens_(std::move(tokens)) {}
    const T* peek(std::size_t pos) const { return pos < tokens_.size() ? &tokens_[pos] : nullptr; }
    std::size_t size() const { return tokens_.size(); }

private:
    std::vector<T> tokens_;
};

}  // namespace axf::xml
