// Internal: for this folder and its tests.
//
// Small general helpers that sit beside the parser combinators. The grammars
// use `wrap` and `pair` to build results from parsed parts; the rest are
// general-purpose pieces of the same module.
#pragma once

#include <cstddef>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace axf::xml {

// The one-element list holding x.
template <class T>
std::vector<T> wrap(T x) {
    std::vector<T> out;
    out.push_back(std::move(x));
    return out;
}

// The pair (a, b), in this order.
template <class A, class B>
std::pair<A, B> pair(A a, B b) {
    return {std::move(a), std::move(b)};
}

// op(f(x), g(x)).
template <class Op, class F, class G, class X>
auto lift(Op op, F f, G g, const X& x) {
    return op(f(x), g(x));
}

// The empty list, or the one-element list holding the value.
template <class T>
std::vector<T> maybeToList(const std::optional<T>& m) {
    if (!m) return {};
    return {*m};
}

// x, f(x), f(f(x)), ... up to the first element for which f gives no value,
// produced on demand: only the elements read are computed, so the sequence
// may be endless.
template <class T>
class MaybeUnfold {
public:
    using Step = std::function<std::optional<T>(const T&)>;
    MaybeUnfold(Step f, std::optional<T> first) : f_(std::move(f)), first_(std::move(first)) {}

    class iterator {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        using pointer = const T*;
        using reference = const T&;

        iterator() = default;
        iterator(const Step* f, std::optional<T> cur) : f_(f), cur_(std::move(cur)) {}
        const T& operator*() const { return *cur_; }
        const T* operator->() const { return &*cur_; }
        iterator& operator++() {
            cur_ = (*f_)(*cur_);
            return *this;
        }
        void operator++(int) { ++*this; }
        // Iterators compare equal only when both are past the end.
        friend bool operator==(const iterator& a, const iterator& b) { return !a.cur_ && !b.cur_; }

    private:
        const Step* f_ = nullptr;
        std::optional<T> cur_;
    };

    iterator begin() const { return iterator(&f_, first_); }
    iterator end() const { return iterator(); }

    // The first n elements (fewer when the sequence ends before).
    std::vector<T> take(std::size_t n) const {
        std::vector<T> out;
        for (auto it = begin(); out.size() < n && it != end(); ++it) out.push_back(*it);
        return out;
    }

private:
    Step f_;
    std::optional<T> first_;
};

template <class T, class F>
MaybeUnfold<T> maybeStar(F f, T x) {
    return MaybeUnfold<T>(typename MaybeUnfold<T>::Step(std::move(f)), std::optional<T>(std::move(x)));
}

// maybeStar without its first element x.
template <class T, class F>
MaybeUnfold<T> maybePlus(F f, T x) {
    typename MaybeUnfold<T>::Step step(std::move(f));
    std::optional<T> second = step(x);
    return MaybeUnfold<T>(std::move(step), std::move(second));
}

// Computations that read one shared environment R: a function from the
// environment to a result.
template <class R, class A>
using Reader = std::function<A(const R&)>;

// The computation that yields v for every environment.
template <class R, class A>
Reader<R, A> readerReturn(A v) {
    return [v = std::move(v)](const R&) { return v; };
}

// Runs m, then the computation k chooses for m's result, on the same
// environment: r -> k(m(r))(r).
template <class R, class A, class K>
auto readerBind(Reader<R, A> m, K k) {
    using Next = std::invoke_result_t<K&, A>;
    using B = std::invoke_result_t<const Next&, const R&>;
    return Reader<R, B>([m = std::move(m), k = std::move(k)](const R& r) mutable { return k(m(r))(r); });
}

// The computation that runs m1, then m2, and yields f of both results.
template <class R, class F, class A, class B>
auto readerCombine(F f, Reader<R, A> m1, Reader<R, B> m2) {
    using C = std::invoke_result_t<F&, A, B>;
    return Reader<R, C>([f = std::move(f), m1 = std::move(m1), m2 = std::move(m2)](const R& r) mutable {
        A a = m1(r);
        B b = m2(r);
        return f(std::move(a), std::move(b));
    });
}

// The computation that yields the empty value and does nothing else.
template <class R>
Reader<R, std::monostate> done() {
    return readerReturn<R>(std::monostate{});
}

// x -> run g(x), then pass its result to f (g first, then f).
template <class F, class G>
auto readerCompose(F f, G g) {
    return [f = std::move(f), g = std::move(g)](const auto& x) { return readerBind(g(x), f); };
}

// Stops the run with "Not Yet Implemented: " followed by s.
[[noreturn]] void failNotImplemented(const std::string& s);

}  // namespace axf::xml
