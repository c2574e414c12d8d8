// Condition checking: which bindings of one result survive a rule's
// regular-expression and expression conditions.
//
// A result's variables are bound to document subtrees (its Association). The
// conditions read each bound subtree through its value, which is the first
// label component (the name or text without the position):
//  - a text: its text;
//  - an element without children: its name;
//  - an element with children: for a regular-expression condition, the text
//    of every text node below it, each followed by one blank ("12 34 "); for
//    an expression condition the same texts joined by single blanks.
//
// Regular-expression conditions run first, in list order: for each triple of
// the condition's variable only the subtrees whose tested text the pattern
// matches whole (the search's own first match covers the whole text) are
// kept, and a triple with none left is removed. The pattern is compiled once,
// on its first use; a pattern that does not parse ends the run then.
//
// Expression conditions run next, in list order: the condition is evaluated
// for every combination of one value per variable (first variable varying
// slowest), each value bound as one token (see ExpCondition); the variables
// then keep, in that order and before the other triples, the values of the
// combinations that held, one per combination; when none held they lose their
// triples. Each distinct combination of values is evaluated once per
// condition.
//
// For a positive rule the kept subtrees become what the rebuilt
// result shows: a passing element becomes a text leaf with its tested text,
// and expression conditions give text leaves of the values. For a negated rule
// the kept subtrees stay the document nodes themselves (each once),
// so that their removal takes out exactly those nodes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "filter/Rule.h"
#include "xml/XML.h"

namespace axf::filter {

// What is derived from a bound subtree (its cut copy, a condition's verdict
// on it, its value), by the subtree's address: bound subtrees are the
// document's own nodes, shared by every result that binds them, so each is
// derived once for the run. Open addressing with linear probing: one flat
// table, no allocation per entry.
template <class V>
class SubtreeMemo {
public:
    // The value kept for the tree, or null.
    const V* find(const xml::Tree* key) const {
        if (slots_.empty()) return nullptr;
        for (std::size_t i = slotOf(key);; i = (i + 1) & (slots_.size() - 1)) {
            if (slots_[i].key == key) return &slots_[i].value;
            if (!slots_[i].key) return nullptr;
        }
    }
    void insert(const xml::Tree* key, V value) {
        if (2 * (size_ + 1) > slots_.size()) grow();
        std::size_t i = slotOf(key);
        while (slots_[i].key && slots_[i].key != key) i = (i + 1) & (slots_.size() - 1);
        if (!slots_[i].key) ++size_;
        slots_[i] = Slot{key, std::move(value)};
    }

private:
    struct Slot {
        const xml::Tree* key = nullptr;
        V value{};
    };
    std::size_t slotOf(const xml::Tree* key) const {
        std::uint64_t h = std::uint64_t(reinterpret_cast<std::uintptr_t>(key)) * 0x9E3779B97F4A7C15ull;
        return std::size_t(h >> 32) & (slots_.size() - 1);
    }
    void grow() {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 64 : 2 * old.size(), Slot{});
        size_ = 0;
        for (Slot& s : old)
            if (s.key) insert(s.key, std::move(s.value));
    }
    std::vector<Slot> slots_;
    std::size_t size_ = 0;
};

// One variable of one result: its name, the number of the query node that
// carries it, and the bound document subtrees.
struct AssocTriple {
    std::string name;
    std::int64_t number = 0;
    xml::TreeList subtrees;

    friend bool operator==(const AssocTriple&, const AssocTriple&) = default;
};
using Association = std::vector<AssocTriple>;

// The variables the conditions use, each once, in the order the conditions
// are written: the variable of each regular-expression condition and the
// whole variable names of each expression text (expressionVariables).
std::vector<std::string> conditionVariables(const RuleConditions& conditions);

// Whether evaluating the conditions can never end the run, whatever values
// they meet: every pattern compiles, and every expression reads and
// evaluates (tried once on numbers, once on texts). A caller that examines
// the parts of results in another order than the results themselves then
// meets no failure earlier or later than they would.
bool conditionsNeverFail(const RuleConditions& conditions);

// The conditions of one rule, applied to the associations of its results.
class ConditionChecker {
public:
    // `declared`: the variable names of the query.
    ConditionChecker(const RuleConditions& conditions, Polarity polarity, std::vector<std::string> declared);
    ConditionChecker(ConditionChecker&&) noexcept;
    ~ConditionChecker();

    // The association after all conditions. Absent when an expression
    // condition needs a variable that the association no longer binds (the
    // result is rejected). Throws Fatal "Attention: variable <name>doesn't
    // exists." when that variable is not a variable of the query at all.
    std::optional<Association> verify(Association a);

    // The note that goes with "Attention: variable <name>doesn't exists.":
    // the first condition, as written, that names the variable.
    std::string unknownVariableNote(const std::string& name) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace axf::filter
