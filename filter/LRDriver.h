// Internal: for this folder and its tests. The shift-reduce driver of the
// two LR parsers of filter/ (the filter parser and the expression parser of
// conditions), run over an automaton of LRTable.h.
//
// A parser supplies the look-ahead and the reductions:
//   source.lookSymbol()     the terminal number of the look-ahead
//   source.shift()          the look-ahead's stack value; then reads the next
//                           token (never past the token on which the run ends)
//   reduce(p, values)       the value of the left side of production p, built
//                           from `values`, those of its right side (which it
//                           may move from)
// Internal errors (states that a table of the generator cannot reach) name
// the parser's function given as `owner`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "filter/LRTable.h"

namespace axf::filter {

template <class Value>
class LRDriver {
public:
    LRDriver(const LRTable& table, std::string_view owner) : table_(table), owner_(owner), state_(table.startState) {}

    // Shifts and reduces until the automaton accepts (true) or finds no
    // action for the look-ahead (false).
    template <class Source, class Reduce>
    bool run(Source& source, Reduce&& reduce) {
        for (;;) {
            std::int16_t act = table_.action(state_, source.lookSymbol());
            if (act == kLRAccept) return true;
            if (act == 0) return false;
            if (act > 0) {
                states_.push_back(state_);
                values_.push_back(source.shift());
                state_ = act - 1;
                reducedOn_.clear();
            } else {
                reduceBy(-act, reduce);
            }
        }
    }

    // The stack values, top last: after acceptance, the start symbol's alone.
    std::vector<Value>& values() { return values_; }

    // After a stop: the terminals on which the parse could have gone on, each
    // once. These are the stopping state's actions and those of the states
    // that reduced on the same look-ahead before it.
    std::vector<int> expectedTerminals() const {
        std::vector<int> expected;
        for (int s : reducedOn_) table_.addExpectedTerminals(s, expected);
        table_.addExpectedTerminals(state_, expected);
        return expected;
    }

private:
    [[noreturn]] void internalError(const std::string& what) const { throw InternalError(std::string(owner_) + ": " + what); }

    template <class Reduce>
    void reduceBy(int production, Reduce& reduce) {
        reducedOn_.push_back(state_);
        std::size_t length = static_cast<std::size_t>(table_.productionLength[production]);
        if (states_.size() < length || values_.size() < length) internalError("stack underflow");
        if (length == 0) {
            states_.push_back(state_);
        } else {
            states_.resize(states_.size() - length + 1);
        }
        std::size_t base = values_.size() - length;
        Value v = reduce(production, std::span<Value>(values_.data() + base, length));
        values_.resize(base);
        values_.push_back(std::move(v));
        std::int16_t go = table_.entry(states_.back(), table_.productionLhs[production]);
        if (go <= 0 || go == kLRAccept) internalError("no goto after production " + std::to_string(production));
        state_ = go - 1;
    }

    const LRTable& table_;
    std::string_view owner_;
    std::vector<int> states_;     // the states below the current one
    std::vector<Value> values_;   // one per symbol recognised, top last
    std::vector<int> reducedOn_;  // the states that reduced on the current look-ahead
    int state_;
};

}  // namespace axf::filter
