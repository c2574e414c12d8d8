#include "filter/ConditionCheck.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <variant>

#include "common/Fatal.h"
#include "common/MessageText.h"
#include "filter/ConditionCheckInternal.h"
#include "filter/Exp.h"
#include "query/NodeLabel.h"
#include "regex/Regexp.h"

namespace axf::filter {

using xml::ELNode;
using xml::Tree;
using xml::TreeList;
using xml::TXNode;

namespace {

// The label of a bound subtree's root, checking the shapes conditions cover.
const std::string& checkedLabel(const Tree* t, const char* fn) {
    if (const auto* el = std::get_if<ELNode>(&t->value)) {
        if (!el->attributes.empty()) throw InternalError(std::string(fn) + ": element \"" + el->name + "\" has attributes");
        return el->name;
    }
    if (const auto* tx = std::get_if<TXNode>(&t->value)) {
        if (!t->isLeaf()) throw InternalError(std::string(fn) + ": text \"" + tx->text + "\" has children");
        return tx->text;
    }
    xml::raiseIfFailure(t->value);
    throw InternalError(std::string(fn) + ": node is neither an element nor a text");
}

const Tree* textLeaf(std::string_view value) { return xml::text(query::escapeLabelValue(value)); }

// The tested texts of elements (the text of every text node below, each
// followed by one blank), derived once for the run. The text of an element
// is the concatenation of its children's texts, so the text of a subtree
// bound inside one whose text was derived before is a piece of it: one
// buffer holds the texts derived so far, and each element that a walk
// passes is kept as its range in the buffer. Elements with few nodes below
// are cheaper to walk again than to keep, and are not kept. Subtrees tested
// outermost first (document order, as results come) are walked once in all;
// an element tested after one inside it copies that one's text, and is not
// kept, so that memory stays within the document's text. Walked with a stack
// of open elements, never by recursion (a bound subtree is as deep as the
// document).
class TextMemo {
public:
    // The text of the element t; valid until the next call. `fn` names the
    // caller in the message of a node that conditions do not cover.
    std::string_view textOf(const Tree* t, const char* fn) {
        buffer_.resize(kept_);  // what the last call left beyond the kept ranges
        const Range whole = walk(t, fn);
        return std::string_view(buffer_).substr(whole.start, whole.end - whole.start);
    }

private:
    struct Range {
        std::size_t start = 0, end = 0;
    };
    // Elements with fewer nodes below them are not kept.
    static constexpr std::size_t kKeptFromNodes = 16;

    void appendKept(const Range& r) {
        // Appending a piece of the buffer to itself is safe: the string
        // copies the piece before it lets go of its old storage.
        buffer_.append(buffer_, r.start, r.end - r.start);
    }

    Range walk(const Tree* t, const char* fn) {
        checkedLabel(t, fn);
        if (const Range* r = ranges_.find(t)) return *r;
        struct Open {
            const Tree* node;
            std::uint32_t next;
            std::size_t start;   // where its text begins in the buffer
            std::size_t walked;  // nodes walked before it
        };
        std::vector<Open> open{{t, 0, buffer_.size(), 0}};
        std::size_t walked = 1;
        // Where this walk first copied a kept text: the copy and what holds
        // it are not kept, so that the kept part of the buffer holds each
        // text of the document at most once.
        std::size_t copiedAt = std::string::npos;
        for (;;) {
            Open& top = open.back();
            if (top.next < top.node->kidCount) {
                const Tree* c = top.node->kids[top.next++];
                const std::string& label = checkedLabel(c, fn);
                ++walked;
                if (std::holds_alternative<TXNode>(c->value)) {
                    buffer_ += query::getLabelComponent(label, 1);
                    buffer_ += ' ';
                } else if (const Range* r = ranges_.find(c)) {
                    copiedAt = std::min(copiedAt, buffer_.size());
                    appendKept(*r);
                } else {
                    open.push_back({c, 0, buffer_.size(), walked});
                }
                continue;
            }
            const Range r{top.start, buffer_.size()};
            if (walked - top.walked >= kKeptFromNodes && r.end <= copiedAt) {
                ranges_.insert(top.node, r);
                kept_ = std::max(kept_, r.end);
            }
            open.pop_back();
            if (open.empty()) return r;
        }
    }

    std::string buffer_;
    std::size_t kept_ = 0;  // the buffer up to here holds kept ranges
    SubtreeMemo<Range> ranges_;
};

// The value an expression condition reads: a text's text, an element's name
// when it has no children, else the texts below it joined by single blanks.
std::string conditionValueWith(const Tree* t, TextMemo& texts) {
    const std::string& label = checkedLabel(t, "conditionValue");
    if (std::holds_alternative<TXNode>(t->value) || t->isLeaf()) return query::getLabelComponent(label, 1);
    std::string_view text = texts.textOf(t, "conditionValue");
    if (!text.empty()) text.remove_suffix(1);
    return std::string(text);
}

}  // namespace

std::string extractText(const Tree* t) {
    const std::string& label = checkedLabel(t, "extractText");
    if (std::holds_alternative<TXNode>(t->value)) return query::getLabelComponent(label, 1) + ' ';
    TextMemo texts;
    return std::string(texts.textOf(t, "extractText"));
}

std::string conditionValue(const Tree* t) {
    TextMemo texts;
    return conditionValueWith(t, texts);
}

// ---------------------------------------------------------------------------

namespace {

struct CompiledRegex {
    const RegexCondition* condition;
    std::optional<regex::Regex> regex;  // compiled on first use
    // Of each subtree tested so far, what it stays as when it passes (the
    // subtree, or its replacement text), null when it fails.
    SubtreeMemo<const Tree*> kept;

    const regex::Regex& get() {
        if (!regex) {
            regex = regex::Regex::compile(condition->pattern);
            if (!regex)
                throw Fatal("Attention: the regular expression \"" + cutForMessage(condition->pattern) +
                            "\" of the condition on " + cutForMessage(condition->variable) + " is not valid");
        }
        return *regex;
    }

    // The match that the search chooses covers the whole text.
    bool passes(std::string_view text) {
        auto m = get().find(text);
        if (!m) return text.empty();
        return m->start == 0 && m->end == text.size();
    }
};

struct CompiledExpression {
    ExpCondition condition;
    // Outcome of each combination of value ids evaluated so far.
    std::unordered_map<std::string, bool> memo;
};

// The values that expression conditions read, each distinct text once, and
// the value of each subtree read so far.
struct ValueTable {
    std::unordered_map<std::string, int> ids;
    std::vector<const std::string*> texts;  // keys of ids, by id
    std::vector<ExpValue> values;
    std::vector<const Tree*> leaves;  // the text leaf of a value, made when first needed
    SubtreeMemo<int> ofSubtree;

    int idOf(const Tree* s, TextMemo& subtreeTexts) {
        if (const int* id = ofSubtree.find(s)) return *id;
        auto [it, fresh] = ids.try_emplace(conditionValueWith(s, subtreeTexts), int(texts.size()));
        if (fresh) {
            texts.push_back(&it->first);
            values.push_back(classifyValue(it->first));
            leaves.push_back(nullptr);
        }
        ofSubtree.insert(s, it->second);
        return it->second;
    }

    const Tree* leaf(int id) {
        const Tree*& l = leaves[std::size_t(id)];
        if (!l) l = textLeaf(*texts[std::size_t(id)]);
        return l;
    }
};

}  // namespace

std::vector<std::string> conditionVariables(const RuleConditions& conditions) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    auto add = [&](const std::string& n) {
        if (seen.insert(n).second) out.push_back(n);
    };
    // Both lists hold the condition written last first.
    for (auto it = conditions.regexConditions.rbegin(); it != conditions.regexConditions.rend(); ++it) add(it->variable);
    for (auto it = conditions.expressionConditions.rbegin(); it != conditions.expressionConditions.rend(); ++it)
        for (const std::string& n : expressionVariables(it->text)) add(n);
    return out;
}

struct ConditionChecker::Impl {
    Polarity polarity = Polarity::Positive;
    std::unordered_set<std::string> declared;
    std::vector<CompiledRegex> regexes;
    std::vector<CompiledExpression> expressions;
    std::vector<RegexCondition> regexConditions;
    ValueTable values;
    TextMemo subtreeTexts;

    std::string unknownVariableNote(const std::string& name) const {
        std::string condition;
        // Both lists hold the condition written last first.
        for (auto it = regexConditions.rbegin(); condition.empty() && it != regexConditions.rend(); ++it)
            if (it->variable == name) condition = it->variable + " match " + it->pattern;
        for (auto it = expressions.rbegin(); condition.empty() && it != expressions.rend(); ++it) {
            const std::vector<std::string>& names = it->condition.names();
            if (std::find(names.begin(), names.end(), name) != names.end()) condition = it->condition.text();
        }
        if (condition.empty()) return "axfilter: the query has no variable of that name";
        return "axfilter: the variable comes from the condition &" + cutForMessage(condition) +
               "&; the query has no variable of that name";
    }

    TreeList keepMatchingSubtrees(CompiledRegex& re, const TreeList& subtrees) {
        TreeList out;
        for (const Tree* s : subtrees) {
            if (const Tree* const* k = re.kept.find(s)) {
                if (*k) out.push_back(*k);
                continue;
            }
            const Tree* k = nullptr;
            const std::string& label = checkedLabel(s, "keepMatchingSubtrees");
            if (std::holds_alternative<TXNode>(s->value)) {
                if (re.passes(query::getLabelComponent(label, 1))) k = s;
            } else {
                std::string_view tested = subtreeTexts.textOf(s, "keepMatchingSubtrees");
                if (re.passes(tested)) k = polarity == Polarity::Positive ? textLeaf(tested) : s;
            }
            re.kept.insert(s, k);
            if (k) out.push_back(k);
        }
        return out;
    }

    void applyRegexConditions(Association& a) {
        for (CompiledRegex& re : regexes) {
            Association out;
            out.reserve(a.size());
            for (AssocTriple& t : a) {
                if (t.name != re.condition->variable) {
                    out.push_back(std::move(t));
                    continue;
                }
                TreeList kept = keepMatchingSubtrees(re, t.subtrees);
                if (!kept.empty()) out.push_back(AssocTriple{std::move(t.name), std::move(t.number), std::move(kept)});
            }
            a = std::move(out);
        }
    }

    // The triple each of the condition's names reads: for each name in turn,
    // the first triple of that name not taken by a name before it (marked in
    // `taken`). False when a name finds no triple left; a name the query
    // does not declare at all ends the run.
    bool selectTriples(const std::vector<std::string>& names, const Association& a, std::vector<std::size_t>& selected,
                       std::vector<bool>& taken) const {
        for (const std::string& name : names) {
            std::size_t i = 0;
            while (i < a.size() && (taken[i] || a[i].name != name)) ++i;
            if (i == a.size()) {
                if (!declared.count(name))
                    throw Fatal("Attention: variable " + cutForMessage(name) + "doesn't exists.", unknownVariableNote(name));
                return false;
            }
            taken[i] = true;
            selected.push_back(i);
        }
        return true;
    }

    // Evaluates the condition for every combination of one value per
    // variable (`ids[v]`: the value numbers of variable v), the last variable
    // varying fastest. Returns, per variable, the places in `ids[v]` of the
    // values of the combinations that held, one per combination.
    std::vector<std::vector<std::size_t>> heldCombinations(CompiledExpression& ce, const std::vector<std::vector<int>>& ids) {
        const std::size_t k = ids.size();
        std::vector<std::vector<std::size_t>> kept(k);
        std::vector<std::size_t> at(k, 0);
        bool any = true;
        for (std::size_t v = 0; v < k; ++v) any = any && !ids[v].empty();
        std::string key(k * sizeof(int), '\0');  // the combination's value numbers, the memo's key
        std::vector<const ExpValue*> vals(k);
        while (any) {
            for (std::size_t v = 0; v < k; ++v) {
                int id = ids[v][at[v]];
                std::memcpy(key.data() + v * sizeof(int), &id, sizeof(int));
            }
            auto it = ce.memo.find(key);
            bool holds;
            if (it != ce.memo.end()) {
                holds = it->second;
            } else {
                for (std::size_t v = 0; v < k; ++v) vals[v] = &values.values[std::size_t(ids[v][at[v]])];
                holds = ce.condition.holds(vals);
                ce.memo.emplace(key, holds);
            }
            if (holds)
                for (std::size_t v = 0; v < k; ++v) kept[v].push_back(at[v]);
            std::size_t v = k;
            while (v > 0) {
                --v;
                if (++at[v] < ids[v].size()) break;
                at[v] = 0;
                if (v == 0) any = false;
            }
        }
        return kept;
    }

    // The subtrees a selected triple keeps: text leaves of the held values
    // (positive rule), or its own subtrees of those values, each once.
    TreeList keptSubtrees(const AssocTriple& t, const std::vector<int>& ids, const std::vector<std::size_t>& kept) {
        TreeList subs;
        if (polarity == Polarity::Positive) {
            subs.reserve(kept.size());
            for (std::size_t j : kept) subs.push_back(values.leaf(ids[j]));
            return subs;
        }
        std::vector<bool> seen(t.subtrees.size(), false);
        for (std::size_t j : kept)
            if (!seen[j]) {
                seen[j] = true;
                subs.push_back(t.subtrees[j]);
            }
        return subs;
    }

    // One expression condition; false when it needs a variable the
    // association does not bind.
    bool applyExpressionCondition(CompiledExpression& ce, Association& a) {
        const std::vector<std::string>& names = ce.condition.names();
        if (a.empty() || names.empty()) return true;
        std::vector<std::size_t> selected;
        std::vector<bool> taken(a.size(), false);
        if (!selectTriples(names, a, selected, taken)) return false;
        // Values of the selected triples.
        std::size_t k = selected.size();
        std::vector<std::vector<int>> ids(k);
        for (std::size_t v = 0; v < k; ++v)
            for (const Tree* s : a[selected[v]].subtrees) ids[v].push_back(values.idOf(s, subtreeTexts));
        std::vector<std::vector<std::size_t>> kept = heldCombinations(ce, ids);
        // Rebuild: the condition's variables first, then the other triples.
        Association out;
        out.reserve(a.size());
        if (!kept[0].empty()) {
            for (std::size_t v = 0; v < k; ++v) {
                const AssocTriple& t = a[selected[v]];
                out.push_back(AssocTriple{t.name, t.number, keptSubtrees(t, ids[v], kept[v])});
            }
        }
        for (std::size_t i = 0; i < a.size(); ++i)
            if (!taken[i]) out.push_back(std::move(a[i]));
        a = std::move(out);
        return true;
    }
};

ConditionChecker::ConditionChecker(const RuleConditions& conditions, Polarity polarity, std::vector<std::string> declared)
    : impl_(std::make_unique<Impl>()) {
    impl_->polarity = polarity;
    impl_->declared.insert(declared.begin(), declared.end());
    impl_->regexConditions = conditions.regexConditions;
    for (const RegexCondition& rc : impl_->regexConditions) impl_->regexes.push_back(CompiledRegex{&rc, std::nullopt, {}});
    for (const ExpressionCondition& ec : conditions.expressionConditions)
        impl_->expressions.push_back(CompiledExpression{ExpCondition(ec.text, expressionVariables(ec.text)), {}});
}

ConditionChecker::ConditionChecker(ConditionChecker&&) noexcept = default;
ConditionChecker::~ConditionChecker() = default;

std::string ConditionChecker::unknownVariableNote(const std::string& name) const { return impl_->unknownVariableNote(name); }

std::optional<Association> ConditionChecker::verify(Association a) {
    if (a.empty()) return a;
    if (impl_->regexes.empty() && impl_->expressions.empty()) return a;
    impl_->applyRegexConditions(a);
    for (CompiledExpression& ce : impl_->expressions) {
        if (a.empty()) break;
        if (!impl_->applyExpressionCondition(ce, a)) return std::nullopt;
    }
    return a;
}

bool conditionsNeverFail(const RuleConditions& conditions) {
    for (const RegexCondition& rc : conditions.regexConditions)
        if (!regex::Regex::compile(rc.pattern)) return false;
    for (const ExpressionCondition& ec : conditions.expressionConditions) {
        std::vector<std::string> names = expressionVariables(ec.text);
        const std::size_t k = names.size();
        ExpCondition condition(ec.text, std::move(names));
        try {
            // A condition reads its text once, then the same two readings
            // whatever the values: a number for every name, and a text.
            for (std::string_view raw : {"1", "a"}) {
                const ExpValue value = classifyValue(raw);
                std::vector<const ExpValue*> values(k, &value);
                condition.holds(values);
            }
        } catch (const Fatal&) {
            return false;
        }
    }
    return true;
}

std::optional<Association> verifyConditions(const Association& a, const RuleConditions& conditions, Polarity polarity,
                                            const std::vector<std::string>& declared) {
    ConditionChecker checker(conditions, polarity, declared);
    return checker.verify(a);
}

}  // namespace axf::filter
