#include "filter/VariableBinding.h"

#include "query/ExtendQuery.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <variant>

#include "common/Fatal.h"
#include "common/MessageText.h"
#include "filter/VariableBindingInternal.h"
#include "query/AttributeElements.h"
#include "query/Combination.h"
#include "query/NodeLabel.h"

namespace axf::filter {

using index::EmbeddingEntry;
using index::EntryList;
using query::getLabelComponent;
using query::readLabelNumber;
using xml::ELNode;
using xml::Tree;
using xml::TreeList;
using xml::TXNode;

namespace {

enum class Shape { Element, Text };

Shape shapeOf(const Tree* t, const char* fn) {
    if (const auto* el = std::get_if<ELNode>(&t->value)) {
        if (!el->attributes.empty()) throw InternalError(std::string(fn) + ": element \"" + el->name + "\" has attributes");
        return Shape::Element;
    }
    if (const auto* tx = std::get_if<TXNode>(&t->value)) {
        if (!t->isLeaf()) throw InternalError(std::string(fn) + ": text \"" + tx->text + "\" has children");
        return Shape::Text;
    }
    xml::raiseIfFailure(t->value);
    throw InternalError(std::string(fn) + ": node is neither an element nor a text");
}

// The label of an element or a text; any other node is an internal error.
const std::string& labelOf(const Tree* t) {
    if (const auto* el = std::get_if<ELNode>(&t->value)) return el->name;
    if (const auto* tx = std::get_if<TXNode>(&t->value)) return tx->text;
    xml::raiseIfFailure(t->value);
    throw InternalError("labelOf: node is neither an element nor a text");
}

struct VariableEntry {
    std::int64_t number;
    std::string name;
};

std::vector<VariableEntry> prepare(const QueryVariables& variables) {
    std::vector<VariableEntry> out;
    out.reserve(variables.size());
    for (const auto& [number, name] : variables) out.push_back(VariableEntry{readLabelNumber(number), associationName(name)});
    return out;
}

using SonsFn = std::function<TreeList(std::int64_t)>;

// The walk of findVars: binds variables from index i on in the tree t and
// returns the index of the first variable left.
class VarWalk {
public:
    VarWalk(const SonsFn& sons, const std::vector<VariableEntry>& vars, Association& out) : sons_(sons), vars_(vars), out_(out) {}

    std::size_t walk(const Tree* t, std::size_t i) {
        Shape shape = shapeOf(t, "findVars");
        const std::string& label = labelOf(t);
        if (i == vars_.size()) return i;
        const std::int64_t q = readLabelNumber(getLabelComponent(label, 2));
        while (i < vars_.size()) {
            const VariableEntry& v = vars_[i];
            if (q == v.number) {
                std::int64_t p = readLabelNumber(getLabelComponent(label, 3));
                TreeList sons = sons_(p);
                if (shape == Shape::Element) {
                    TreeList bound = unmatchedSons(sons, t->children());
                    if (!bound.empty()) out_.push_back(AssocTriple{v.name, q, std::move(bound)});
                    return walkChildren(t, i + 1);
                }
                if (!sons.empty()) out_.push_back(AssocTriple{v.name, q, std::move(sons)});
                return i + 1;
            }
            if (q < v.number) return shape == Shape::Element ? walkChildren(t, i) : i;
            ++i;  // the variable's node was passed without a match
        }
        return i;
    }

private:
    std::size_t walkChildren(const Tree* t, std::size_t i) {
        for (const Tree* c : t->children()) {
            if (i == vars_.size()) break;
            i = walk(c, i);
        }
        return i;
    }

    const SonsFn& sons_;
    const std::vector<VariableEntry>& vars_;
    Association& out_;
};

Association findVarsWith(const SonsFn& sons, const std::vector<VariableEntry>& vars, const Tree* t, std::size_t* left = nullptr) {
    Association a;
    VarWalk w(sons, vars, a);
    std::size_t i = w.walk(t, 0);
    if (left) *left = i;
    return a;
}

const Tree* rebuild(const Tree* t, const BindingPairs& pairs, std::size_t& i) {
    if (i == pairs.size()) return cutLabels(t);
    Shape shape = shapeOf(t, "rebuildWithBindings");
    const std::string& label = labelOf(t);
    std::string cut = getLabelComponent(label, 1);
    const std::int64_t n = pairs[i].number;
    std::int64_t m = readLabelNumber(getLabelComponent(label, 2));
    if (shape == Shape::Text) {
        if (m != n) return xml::text(std::move(cut));
        return xml::makeTree(ELNode{std::move(cut), {}}, pairs[i++].subtrees);
    }
    TreeList kids;
    if (m == n) {
        kids = pairs[i++].subtrees;
    } else if (m > n) {
        ++i;
    }
    kids.reserve(kids.size() + t->kidCount);
    for (const Tree* c : t->children()) kids.push_back(rebuild(c, pairs, i));
    return xml::makeTree(ELNode{std::move(cut), {}}, kids);
}

EmbeddingEntry documentEntry(const Tree* document) {
    EmbeddingEntry e;
    e.position = 1;
    e.tree = document;
    return e;
}

}  // namespace

std::string associationName(const std::string& name) {
    if (name.empty()) throw InternalError("associationName: empty variable name");
    // A copy's variable binds as the variable it copies.
    if (name.size() == 2 && name[0] == query::kCopyMark) return name.substr(1);
    return name;
}

std::pair<Association, QueryVariables> findVars(const Tree* document, const QueryVariables& variables, const Tree* result) {
    std::vector<VariableEntry> vars = prepare(variables);
    SonsFn sons = [&](std::int64_t p) { return query::findSons(document, p); };
    std::size_t left = 0;
    Association a = findVarsWith(sons, vars, result, &left);
    return {std::move(a), QueryVariables(variables.begin() + std::ptrdiff_t(left), variables.end())};
}

TreeList unmatchedSons(std::span<const Tree* const> sons, std::span<const Tree* const> resultChildren) {
    TreeList out;
    std::size_t y = 0;
    for (const Tree* x : sons) {
        if (y == resultChildren.size()) {
            out.push_back(x);
            continue;
        }
        std::int64_t px = readLabelNumber(query::rootLabelComponent(x, 2));
        std::int64_t py = readLabelNumber(query::rootLabelComponent(resultChildren[y], 3));
        if (px != py) out.push_back(x);
        if (px >= py) ++y;
    }
    return out;
}

const Tree* cutLabels(const Tree* t) {
    // Nodes are met in preorder (the first that fails is the one a
    // recursive walk would meet first) and built bottom-up, with a stack of
    // open elements in place of recursion.
    if (shapeOf(t, "rebuildWithBindings") == Shape::Text) return xml::text(getLabelComponent(labelOf(t), 1));
    struct Open {
        const Tree* source;
        std::uint32_t next;
        std::size_t firstKid;
    };
    std::vector<Open> open{{t, 0, 0}};
    TreeList kids;  // cut children of the open elements
    for (;;) {
        Open& top = open.back();
        if (top.next < top.source->kidCount) {
            const Tree* c = top.source->kids[top.next++];
            if (shapeOf(c, "rebuildWithBindings") == Shape::Text)
                kids.push_back(xml::text(getLabelComponent(labelOf(c), 1)));
            else
                open.push_back({c, 0, kids.size()});
            continue;
        }
        std::span<const Tree* const> children(kids.data() + top.firstKid, kids.size() - top.firstKid);
        const Tree* cut = xml::makeTree(ELNode{getLabelComponent(labelOf(top.source), 1), {}}, children);
        kids.resize(top.firstKid);
        open.pop_back();
        if (open.empty()) return cut;
        kids.push_back(cut);
    }
}

namespace {

// The attribute that the cut child c becomes under restoreAttributes: an
// element whose cut name starts with '@', over nothing or over one text.
std::optional<xml::Attribute> cutAttribute(const Tree* c) {
    if (shapeOf(c, "rebuildWithBindings") != Shape::Element) return std::nullopt;
    const std::string& label = labelOf(c);
    std::string name;
    const Tree* value = nullptr;
    const bool attribute = query::standsForAttribute(label, [&] {
        if (c->kidCount > 1) return query::AttributeValueShape::Other;
        name = getLabelComponent(label, 1);
        if (c->kidCount == 0) return query::AttributeValueShape::Nothing;
        value = c->kids[0];
        return shapeOf(value, "rebuildWithBindings") == Shape::Text ? query::AttributeValueShape::OneText
                                                                    : query::AttributeValueShape::Other;
    });
    if (!attribute) return std::nullopt;
    name.erase(0, 1);
    if (!value) return xml::Attribute{std::move(name), std::string()};
    return xml::Attribute{std::move(name), getLabelComponent(labelOf(value), 1)};
}

}  // namespace

CutNode cutNode(const Tree* t) {
    CutNode n;
    n.text = shapeOf(t, "rebuildWithBindings") == Shape::Text;
    n.label = getLabelComponent(labelOf(t), 1);
    if (n.text) return n;
    n.kids.reserve(t->kidCount);
    for (const Tree* c : t->children()) {
        if (auto a = cutAttribute(c))
            n.attributes.push_back(std::move(*a));
        else
            n.kids.push_back(c);
    }
    return n;
}

void checkCutLabels(const Tree* t) {
    // Preorder, with a stack of open elements.
    if (shapeOf(t, "rebuildWithBindings") != Shape::Element) return;
    std::vector<std::pair<const Tree*, std::uint32_t>> open{{t, 0}};  // node, next child
    while (!open.empty()) {
        auto& [node, next] = open.back();
        if (next == node->kidCount) {
            open.pop_back();
            continue;
        }
        const Tree* c = node->kids[next++];
        if (shapeOf(c, "rebuildWithBindings") == Shape::Element && !c->isLeaf()) open.emplace_back(c, 0);
    }
}

namespace {

// The cut copy of t (cutLabelsWithAttributes of a tree that passed
// checkCutLabels), built bottom-up with a stack of open elements. With a
// memo, an element cut before is taken from it and every element cut is
// kept in it, so that nested subtrees share their copies.
const Tree* buildCut(const Tree* s, SubtreeMemo<const Tree*>* memo) {
    if (memo)
        if (const Tree* const* c = memo->find(s)) return *c;
    if (std::holds_alternative<TXNode>(s->value)) {
        const Tree* c = xml::text(cutNode(s).label);
        if (memo) memo->insert(s, c);  // a text bound on its own
        return c;
    }
    // An open element keeps only its place: its cut name and attributes are
    // made when it is closed, so the stack holds a few words a level.
    struct Open {
        const Tree* source;
        std::uint32_t next;    // the next child to look at
        std::size_t firstKid;  // where its cut children begin in `kids`
    };
    std::vector<Open> open;
    std::vector<const Tree*> kids;  // cut children of the open elements
    auto take = [&](const Tree* t) {
        if (std::holds_alternative<TXNode>(t->value)) {
            // Texts inside an element are made with it.
            kids.push_back(xml::text(cutNode(t).label));
            return;
        }
        if (memo)
            if (const Tree* const* c = memo->find(t)) {
                kids.push_back(*c);
                return;
            }
        open.push_back(Open{t, 0, kids.size()});
    };
    take(s);
    for (;;) {
        Open& f = open.back();
        if (f.next < f.source->kidCount) {
            const Tree* c = f.source->kids[f.next++];
            if (!cutAttribute(c)) take(c);  // an attribute is made with its element
            continue;
        }
        CutNode n = cutNode(f.source);
        std::span<const Tree* const> children(kids.data() + f.firstKid, kids.size() - f.firstKid);
        const Tree* c = xml::makeTree(ELNode{std::move(n.label), std::move(n.attributes)}, children);
        if (memo) memo->insert(f.source, c);
        kids.resize(f.firstKid);
        open.pop_back();
        if (open.empty()) return c;
        kids.push_back(c);
    }
}

}  // namespace

namespace {

// Cut copies (cutLabelsWithAttributes) of the document subtrees that
// variables bind, made once for the run: every element is cut at most once,
// so a subtree bound again, alone or inside a larger bound subtree, is the
// copy made before. Built without recursion.
class CutCache {
public:
    const Tree* get(const Tree* s) { return buildCut(s, &memo_); }

private:
    SubtreeMemo<const Tree*> memo_;
};

}  // namespace

const Tree* cutLabelsWithAttributes(const Tree* t) {
    // A node's '@' children are read before its other subtrees: the check
    // first keeps the failure that of cutLabels, which meets nodes in preorder.
    checkCutLabels(t);
    return buildCut(t, nullptr);
}

std::pair<const Tree*, BindingPairs> rebuildWithBindings(const BindingPairs& pairs, const Tree* t) {
    std::size_t i = 0;
    const Tree* r = rebuild(t, pairs, i);
    return {r, BindingPairs(pairs.begin() + std::ptrdiff_t(i), pairs.end())};
}

Association sortByNodeNumberDroppingRepeats(Association a) {
    std::vector<std::pair<std::int64_t, std::size_t>> keys;
    keys.reserve(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) keys.emplace_back(a[i].number, i);
    std::stable_sort(keys.begin(), keys.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    Association out;
    out.reserve(a.size());
    for (std::size_t k = 0; k < keys.size(); ++k) {
        if (k > 0 && keys[k].first == keys[k - 1].first) continue;
        out.push_back(std::move(a[keys[k].second]));
    }
    return out;
}

BindingPairs bindingPairs(const Association& a) {
    BindingPairs out;
    out.reserve(a.size());
    for (const AssocTriple& t : a) out.push_back(query::NodeBinding{t.number, t.subtrees});
    return out;
}

bool isUnbound(const std::string& name, const Association& a) {
    for (const AssocTriple& t : a)
        if (t.name == name) return false;
    return true;
}

bool anyUnbound(const std::vector<std::string>& names, const Association& a) {
    for (const std::string& n : names)
        if (isUnbound(n, a)) return true;
    return false;
}

struct ResultBinder::Impl {
    query::DocumentSource document;
    Polarity polarity = Polarity::Positive;
    bool noVariables;
    bool hasConditions;
    std::vector<VariableEntry> vars;
    std::vector<std::string> declared;
    std::vector<std::string> needed;
    bool checkedDeclared = false;
    std::optional<ConditionChecker> checker;
    std::optional<query::DocumentEditor> editor;
    std::shared_ptr<query::RemovalOverlay> overlay;  // in place of the editor for a document by position
    SonsFn sons;

    void remove(const Tree* match, std::span<const query::NodeBinding> bindings) {
        if (overlay)
            overlay->remove(match, bindings);
        else
            editor->remove(match, bindings);
    }
    ResultTrees trees = ResultTrees::All;
    CutCache cuts;

    bool rebuilds(const EmbeddingEntry& e) const {
        return trees == ResultTrees::All || (trees == ResultTrees::CostZero && e.cost == 0);
    }

    // A condition variable the query lacks ends the run when the first result
    // is examined.
    void checkDeclared() {
        if (checkedDeclared) return;
        checkedDeclared = true;
        std::unordered_set<std::string> known(declared.begin(), declared.end());
        for (const std::string& name : needed)
            if (!known.count(name))
                throw Fatal("Attention: variable " + cutForMessage(name) + "doesn't exists.",
                            checker ? checker->unknownVariableNote(name) : std::string());
    }

    // The accepted result's binding pairs, or nothing.
    std::optional<BindingPairs> bind(const Tree* t) {
        const std::size_t n = needed.size();
        Association a = findVarsWith(sons, vars, t);
        if (a.size() < n || anyUnbound(needed, a)) return std::nullopt;
        std::optional<Association> checked = checker->verify(std::move(a));
        if (!checked) return std::nullopt;
        Association k = sortByNodeNumberDroppingRepeats(std::move(*checked));
        if (k.size() < n || anyUnbound(needed, k)) return std::nullopt;
        return bindingPairs(k);
    }
};

ResultBinder::ResultBinder(const QueryVariables& variables, const query::DocumentSource& document,
                           const RuleConditions& conditions, Polarity polarity, ResultTrees trees)
    : impl_(std::make_unique<Impl>(document)) {
    Impl& m = *impl_;
    m.polarity = polarity;
    m.trees = trees;
    m.noVariables = variables.empty();
    m.hasConditions = !conditions.empty();
    if (polarity == Polarity::Negated) {
        if (document.byPosition)
            m.overlay = std::make_shared<query::RemovalOverlay>(*document.byPosition);
        else
            m.editor.emplace(document.tree());
    }
    if (m.noVariables) return;
    m.vars = prepare(variables);
    for (const VariableEntry& v : m.vars) m.declared.push_back(v.name);
    m.needed = conditionVariables(conditions);
    m.checker.emplace(conditions, polarity, m.declared);
    m.sons = [&m](std::int64_t p) {
        if (m.polarity == Polarity::Positive) return m.document.sons(p);
        return m.overlay ? m.overlay->findSons(p) : m.editor->findSons(p);
    };
}

ResultBinder::~ResultBinder() = default;

std::optional<EmbeddingEntry> ResultBinder::examine(const EmbeddingEntry& result) {
    Impl& m = *impl_;
    // Conditions over a query without variables accept nothing.
    if (m.noVariables && m.hasConditions) return std::nullopt;
    // A failure tree fails where it is read: by the removal, the label cut
    // or the binding below, never for a result whose tree nothing reads.
    EmbeddingEntry e = result;
    if (m.noVariables) {
        if (m.polarity == Polarity::Negated)
            m.remove(result.tree, {});
        else
            e.tree = m.rebuilds(result) ? cutLabels(result.tree) : nullptr;
        return e;
    }
    m.checkDeclared();
    if (m.polarity == Polarity::Positive && !m.hasConditions && !m.rebuilds(result)) {
        // Without conditions every result is accepted, and nothing reads
        // this one's tree or bindings: nothing is bound. Binding reads only
        // labels that the search and the indexer write, which never fail.
        e.tree = nullptr;
        return e;
    }
    query::throwIfDeferredFailure(result.tree);
    std::optional<BindingPairs> pairs = m.bind(result.tree);
    if (!pairs) return std::nullopt;
    if (m.polarity == Polarity::Negated) {
        m.remove(result.tree, *pairs);
        return e;
    }
    if (!m.rebuilds(result)) {
        // Nothing reads this tree. Rebuilding fails only on labels that the
        // search never writes, and cutting never fails on document subtrees,
        // so no failure is lost.
        e.tree = nullptr;
        return e;
    }
    for (query::NodeBinding& b : *pairs)
        for (const Tree*& s : b.subtrees) s = m.cuts.get(s);
    e.tree = rebuildWithBindings(*pairs, result.tree).first;
    return e;
}

const Tree* ResultBinder::document() {
    Impl& m = *impl_;
    if (m.polarity == Polarity::Positive) return m.document.tree();
    return m.overlay ? m.overlay->current() : m.editor->current();
}

std::shared_ptr<const query::RemovalOverlay> ResultBinder::reduced() const { return impl_->overlay; }

EntryList bindResults(const EntryList& results, const QueryVariables& variables, const query::DocumentSource& document,
                      const RuleConditions& conditions, Polarity polarity, ResultTrees trees) {
    ResultBinder binder(variables, document, conditions, polarity, trees);
    EntryList out;
    // Untouched room costs nothing: the list is never copied to grow.
    if (polarity == Polarity::Positive) out.reserve(results.size());
    for (const EmbeddingEntry& r : results)
        if (auto e = binder.examine(r); e && polarity == Polarity::Positive) out.push_back(*e);
    if (polarity == Polarity::Negated) return {documentEntry(binder.document())};
    return out;
}

bool nodeNumberLess(const AssocTriple& a, const AssocTriple& b) { return a.number < b.number; }

void dumpAssociation(std::string_view name, const xml::TreeList& values, Sink& sink) {
    if (values.empty()) throw InternalError("dumpAssociation: no value for " + std::string(name));
    std::string shown;
    xml::showAt(0, values.front(), shown);
    sink.write("assoc:\n");
    sink.write(name);
    sink.write("\n");
    sink.write(shown);
    sink.write("\n\n");
}

void dumpAssociation(std::string_view name, const xml::TreeList& values) {
    StdoutSink sink;
    dumpAssociation(name, values, sink);
}

}  // namespace axf::filter
