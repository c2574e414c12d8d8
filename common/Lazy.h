// Lazy<T>: a memoising deferred value. The function runs once, on the first
// get(); its result, or the exception it threw, is kept and handed out (or
// rethrown) by every later get(). Copies share the same memo.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <utility>

#include "common/Fatal.h"

namespace axf {

template <class T>
class Lazy {
public:
    Lazy() : cell_(std::make_shared<Cell>()) { cell_->value.emplace(); }
    // An already computed value.
    static Lazy ready(T value) {
        Lazy l;
        l.cell_->value.emplace(std::move(value));
        return l;
    }
    explicit Lazy(std::function<T()> fn) : cell_(std::make_shared<Cell>()) { cell_->fn = std::move(fn); }

    const T& get() const {
        Cell& c = *cell_;
        if (c.value) return *c.value;
        if (c.error) std::rethrow_exception(c.error);
        if (!c.fn) throw InternalError("Lazy::get: value re-entered while being computed");
        auto fn = std::move(c.fn);
        c.fn = nullptr;
        try {
            c.value.emplace(fn());
        } catch (...) {
            c.error = std::current_exception();
            throw;
        }
        return *c.value;
    }
    bool isComputed() const { return cell_->value.has_value(); }
    // The value for its last reader: moved out when no other copy shares
    // it (nothing may read this copy afterwards), copied otherwise.
    T take() const {
        get();
        if (cell_.use_count() == 1) return std::move(*cell_->value);
        return *cell_->value;
    }

private:
    struct Cell {
        std::function<T()> fn;
        std::optional<T> value;
        std::exception_ptr error;
    };
    std::shared_ptr<Cell> cell_;
};

template <class F>
auto makeLazy(F fn) -> Lazy<decltype(fn())> {
    return Lazy<decltype(fn())>(std::function<decltype(fn())()>(std::move(fn)));
}

}  // namespace axf
