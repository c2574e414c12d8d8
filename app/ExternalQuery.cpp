#include "app/ExternalQuery.h"

#include <variant>

#include "app/ResultPrinter.h"
#include "app/VarsBridge.h"
#include "common/Fatal.h"
#include "query/Compute.h"
#include "query/Embedding.h"
#include "query/ExtendQuery.h"

namespace axf::app {

using xml::ELNode;
using xml::Tree;
using xml::TXNode;

namespace {

constexpr std::int64_t delcost = 5;

ResultList fromSearch(query::SearchResult r) { return ResultList{std::move(r.entries), r.failure}; }

bool isGroupRoot(const Tree* q, std::string_view* name) {
    const auto* el = std::get_if<ELNode>(&q->value);
    if (!el || !el->attributes.empty() || q->isLeaf()) return false;
    if (el->name != "and" && el->name != "or" && el->name != "xor") return false;
    *name = el->name;
    return true;
}

bool allVariant(const std::string& kind) { return kind == "all" || kind == "neg" || kind == "allEx"; }

query::VariableList joinVariables(const query::VariableList& a, const query::VariableList& b) {
    std::vector<query::VariableList::Pair> pairs(a.pairs());
    pairs.insert(pairs.end(), b.pairs().begin(), b.pairs().end());
    return query::VariableList(std::move(pairs));
}

using Combine = EntryList (*)(query::EntrySpan, query::EntrySpan);

QueryOutcome fold(Combine combine, bool firstEmptyDecides, const OperandEvaluator& eval, QueryOutcome acc,
                  std::span<const Tree* const> rest) {
    for (const Tree* q : rest) {
        QueryOutcome next = eval(acc.lastNumber + 1, q);
        Lazy<ResultList> left = acc.results;
        Lazy<ResultList> right = next.results;
        acc.results = makeLazy([left, right, combine, firstEmptyDecides]() -> ResultList {
            const ResultList& a = left.get();
            // An "and" whose list so far is empty does not look at the next operand.
            if (firstEmptyDecides && a.empty()) return {};
            const ResultList& b = right.get();
            return ResultList{combine(a.all(), b.all()), nullptr};
        });
        acc.variables = joinVariables(acc.variables, next.variables);
        acc.lastNumber = next.lastNumber;
    }
    return acc;
}

// Whether a label of the query holds a selector (or an unclosed '['): the
// one thing in a search that can fail on what the document holds.
bool hasSelector(const Tree* q) {
    std::vector<const Tree*> todo{q};
    while (!todo.empty()) {
        const Tree* t = todo.back();
        todo.pop_back();
        if (const auto* e = std::get_if<ELNode>(&t->value); e && e->name.find('[') != std::string::npos) return true;
        if (const auto* x = std::get_if<TXNode>(&t->value); x && x->text.find('[') != std::string::npos) return true;
        for (const Tree* k : t->children()) todo.push_back(k);
    }
    return false;
}

// The `or` of whole queries in mode all over every operand at once: the same
// list as the pairwise fold, whose operands it reads in the same order, but
// a product of tied results is built only when it is the result.
QueryOutcome foldOrAll(const OperandEvaluator& eval, QueryOutcome acc, std::span<const Tree* const> rest) {
    std::vector<Lazy<ResultList>> operands{acc.results};
    for (const Tree* q : rest) {
        QueryOutcome next = eval(acc.lastNumber + 1, q);
        operands.push_back(next.results);
        acc.variables = joinVariables(acc.variables, next.variables);
        acc.lastNumber = next.lastNumber;
    }
    acc.results = makeLazy([operands]() -> ResultList {
        std::vector<query::EntrySpan> lists;
        auto readBoth = [](query::EntrySpan, query::EntrySpan) {};
        for (std::size_t i = 0; i < operands.size(); ++i) {
            const ResultList& b = operands[i].get();
            if (i == 1) readBoth(operands[0].get().all(), b.all());
            if (i > 1) b.all();
            lists.push_back(b.entries);
        }
        return ResultList{query::compute_ExtMin_all(lists), nullptr};
    });
    return acc;
}

}  // namespace

QueryOutcome evalSimpleQuery(const EvalContext& ctx, std::int64_t n, const Tree* q) {
    const index::IndexedDocument* doc = ctx.document;
    std::string number = std::to_string(n);
    QueryOutcome out;
    if (ctx.kind != "allEx" && ctx.kind != "bestEx" && ctx.kind != "neg") {
        query::QueryAnnotation a = query::extendQuery(q, n);
        out.variables = a.variables;
        out.lastNumber = a.lastNumber;
        std::string kind = ctx.kind, type = ctx.searchType;
        out.results = makeLazy([a, doc, number, kind, type]() {
            return fromSearch(query::evaluateQuery(a.tree, a.mapping, a.sumDelCost, {}, number, doc->indexEL,
                                                   doc->indexTX, doc->mapping, delcost, a.searchTypes, kind, type));
        });
        return out;
    }
    query::PlainAnnotation p = query::visitQuery(q, n);
    out.variables = p.variables;
    out.lastNumber = p.lastNumber;
    std::int64_t deletion = ctx.kind == "neg" ? delcost : query::infinito;
    std::string mode = ctx.kind == "bestEx" ? "best" : "all";
    bool exactOnly = ctx.exactOnly && ctx.kind != "neg";
    out.results = makeLazy([p, doc, number, deletion, mode, exactOnly]() {
        return fromSearch(query::evaluateQuery(p.tree, p.mapping, query::SumDelCost{}, {}, number, doc->indexEL,
                                               doc->indexTX, doc->mapping, deletion, query::SearchTypeList{}, mode,
                                               "E", exactOnly));
    });
    return out;
}

QueryOutcome manageExtQuery(const EvalContext& ctx, std::int64_t n, const Tree* q) {
    std::string_view group;
    if (!isGroupRoot(q, &group)) {
        if (!std::holds_alternative<ELNode>(q->value) &&
            !(std::holds_alternative<TXNode>(q->value) && q->isLeaf()))
            throw InternalError("manageExtQuery: a query root must be an element or a text");
        return evalSimpleQuery(ctx, n, q);
    }
    OperandEvaluator eval = [&ctx](std::int64_t number, const Tree* operand) {
        return manageExtQuery(ctx, number, operand);
    };
    auto kids = q->children();
    std::vector<const Tree*> spliced;
    std::string_view inner;
    while (group == "or" && allVariant(ctx.kind) && isGroupRoot(kids[0], &inner) && inner == "or") {
        // A leading `or` group is folded first, in the same order, so its
        // operands join this fold (numbers and variables run on unchanged).
        std::vector<const Tree*> next(kids[0]->children().begin(), kids[0]->children().end());
        next.insert(next.end(), kids.begin() + 1, kids.end());
        spliced = std::move(next);
        kids = spliced;
    }
    QueryOutcome first = manageExtQuery(ctx, n, kids[0]);
    if (group == "and") return manageANDSons(ctx.kind, eval, std::move(first), kids.subspan(1));
    return manageOrSons(std::string(group), ctx.kind, eval, std::move(first), kids.subspan(1));
}

QueryOutcome manageANDSons(const std::string& kind, const OperandEvaluator& eval, QueryOutcome acc,
                           std::span<const Tree* const> rest) {
    Combine c = allVariant(kind) ? &query::compute_ExtSum_all : &query::compute_ExtSum_best;
    return fold(c, true, eval, std::move(acc), rest);
}

QueryOutcome manageOrSons(const std::string& op, const std::string& kind, const OperandEvaluator& eval,
                          QueryOutcome acc, std::span<const Tree* const> rest) {
    bool all = allVariant(kind);
    Combine c = nullptr;
    if (op == "or" && all)
        return foldOrAll(eval, std::move(acc), rest);
    if (op == "or")
        c = &query::compute_ExtMin_best;
    else if (op == "xor")
        c = all ? &query::compute_Extxor_all : &query::compute_Extxor_best;
    else
        throw InternalError("manageOrSons: operator " + op);
    return fold(c, false, eval, std::move(acc), rest);
}

EmbeddingEntry adjustRoot(const EmbeddingEntry& entry) {
    query::throwIfDeferredFailure(entry.tree);
    if (const auto* el = std::get_if<ELNode>(&entry.tree->value)) {
        if (el->attributes.empty() && (el->name == "and" || el->name == "or" || el->name == "xor")) {
            EmbeddingEntry e = entry;
            e.tree = query::setLabel(entry.tree, "1^0");
            return e;
        }
    }
    return entry;
}

// ---------------------------------------------------------------------------
// Result document

namespace {

const Tree* emptyResult() { return xml::leafNode(ELNode{"Empty Result", {}}); }

const Tree* rankElement(std::int64_t cost) {
    return xml::leafNode(ELNode{"Query Rank", {{"rank", std::to_string(cost)}}});
}

}  // namespace

std::int64_t countAux(const EntryList& results, std::int64_t bound, std::int64_t start) {
    for (const auto& e : results)
        if (e.cost <= bound) ++start;
    return start;
}

ResultDocument countEmbedding(const ResultList& results, std::int64_t count) {
    ResultDocument doc;
    if (results.empty()) {
        doc.tree = emptyResult();
        return doc;
    }
    const EntryList& all = results.all();
    std::int64_t n = count >= 0 ? countAux(all, count, 0) : static_cast<std::int64_t>(all.size());
    doc.tree = xml::leafNode(ELNode{"0000", {{"Embedding Num", std::to_string(n)}}});
    return doc;
}

xml::TreeList exctractTree(int mode, const EntryList& results) {
    xml::TreeList out;
    for (const auto& e : results) {
        if (mode == 1) out.push_back(rankElement(e.cost));
        if (mode != 2 || e.cost == 0) out.push_back(query::adjust_attributes(e.tree));
    }
    return out;
}

ResultDocument buildUniqueTree(const ResultList& results, int mode) {
    ResultDocument doc;
    if (results.empty()) {
        doc.tree = emptyResult();
        return doc;
    }
    if (mode == 2) {
        // Only the matches of cost 0 are listed; none makes the empty result.
        bool any = false;
        for (const auto& e : results.entries)
            if (e.cost == 0) {
                any = true;
                break;
            }
        if (!any) {
            results.rethrow();
            doc.tree = emptyResult();
            return doc;
        }
    }
    doc.matches = results.entries;
    doc.failure = results.failure;
    doc.mode = mode;
    return doc;
}

ResultDocument buildQueryResult(const ResultList& results, const std::string& kind, int polarity, int outer,
                                std::int64_t count) {
    if (results.empty()) {
        ResultDocument doc;
        doc.tree = emptyResult();
        return doc;
    }
    if (count >= 0 || count == -2) return countEmbedding(results, count);
    if (polarity == 1 && (kind == "bestEx" || kind == "allEx")) return buildUniqueTree(results, 2);
    if (polarity == 1) return buildUniqueTree(results, outer);
    if (polarity != 0 || results.entries.size() != 1)
        throw InternalError("buildQueryResult: a negated rule has exactly one result");
    ResultDocument doc;
    doc.tree = xml::makeTree(ELNode{"0000", {}}, {results.entries.front().tree});
    return doc;
}

void writeResultDocument(std::int64_t level, int flag, const ResultDocument& doc, Sink& sink) {
    if (doc.reduced) {
        writeReducedDocument(level, flag, ELNode{"0000", {}}, *doc.reduced, sink);
        return;
    }
    if (doc.tree && doc.cutBelowRoot) {
        query::throwIfDeferredFailure(doc.tree);
        const auto* root = std::get_if<ELNode>(&doc.tree->value);
        if (!root) throw InternalError("writeResultDocument: a reduced document under a root that is not an element");
        writeElementOverCut(level, flag, *root, doc.tree->children(), sink);
        return;
    }
    if (doc.tree) {
        writeFormattedXML(level, flag, doc.tree, sink);
        return;
    }
    // A match list: its children are made one at a time, as they are printed.
    const ELNode root{"0000", {}};
    std::size_t next = 0;
    bool rankPending = false;
    auto nextChild = [&]() -> const Tree* {
        for (;;) {
            if (rankPending) {
                rankPending = false;
                return query::adjust_attributes(doc.matches[next++].tree);
            }
            if (next >= doc.matches.size()) {
                if (doc.failure) std::rethrow_exception(doc.failure);
                return nullptr;
            }
            const EmbeddingEntry& e = doc.matches[next];
            if (doc.mode == 1) {
                rankPending = true;
                return rankElement(e.cost);
            }
            ++next;
            if (doc.mode == 2 && e.cost != 0) continue;
            return query::adjust_attributes(e.tree);
        }
    };
    const Tree* first = nextChild();
    if (!first) throw InternalError("writeResultDocument: a match list without matches");
    query::throwIfDeferredFailure(first);
    if (first->isLeaf() && std::holds_alternative<TXNode>(first->value)) {
        const Tree* second = nextChild();
        if (!second) {
            writeTextElement(level, flag, root, std::get<TXNode>(first->value).text, sink);
            return;
        }
        writeStartTag(level, flag, root, false, sink);
        writeFormattedXML(level + 1, flag, first, sink);
        writeFormattedXML(level + 1, flag, second, sink);
    } else {
        writeStartTag(level, flag, root, false, sink);
        writeFormattedXML(level + 1, flag, first, sink);
    }
    while (const Tree* child = nextChild()) writeFormattedXML(level + 1, flag, child, sink);
    writeEndTag(level, flag, root, sink);
}

std::string showResultDocument(std::int64_t level, int flag, const ResultDocument& doc) {
    StringSink s;
    writeResultDocument(level, flag, doc, s);
    return s.take();
}

// ---------------------------------------------------------------------------
// Rule evaluation

ResultDocument evalExternalQuery(const std::string& kind, const std::string& searchType,
                                 const Lazy<std::string>& documentText, const ConditionTriple& conditions,
                                 const std::string& polarity, int outer, const Tree* q, std::int64_t count,
                                 const index::DocumentOrigin& origin) {
    int polarityFlag;
    if (polarity == "P")
        polarityFlag = 1;
    else if (polarity == "N")
        polarityFlag = 0;
    else
        throw InternalError("evalExternalQuery: polarity " + polarity);

    auto evaluate = [&]() {
        // Nothing reads the text after the indexer, which takes its storage over.
        auto doc = std::make_shared<index::IndexedDocument>(
            index::parseTextInPlace(std::move(const_cast<std::string&>(documentText.get())), origin));
        EvalContext ctx{polarityFlag == 1 ? kind : "neg", polarityFlag == 1 ? searchType : "E", doc.get()};
        // A statement of exact matches that prints them without conditions
        // reads nothing of a match of a higher cost.
        ctx.exactOnly = polarityFlag == 1 && (kind == "allEx" || kind == "bestEx") && !(count >= 0 || count == -2) &&
                        conditions.empty() && !hasSelector(q);
        QueryOutcome outcome = manageExtQuery(ctx, 2, q);
        return std::make_pair(doc, std::move(outcome));
    };

    if (polarityFlag == 0) {
        // One entry whatever was found; under a count its tree is never read,
        // so the document is neither indexed nor searched.
        if (count >= 0 || count == -2) {
            ResultDocument doc;
            doc.tree = xml::leafNode(ELNode{"0000", {{"Embedding Num", "1"}}});
            return doc;
        }
        auto [doc, outcome] = evaluate();
        const ResultList& found = outcome.results.get();
        EntryList adjusted;
        for (const auto& e : found.all()) adjusted.push_back(adjustRoot(e));
        if (doc->tree.byPosition()) {
            // The matches are removed as positions over the document's nodes,
            // and the printer walks what remains: the document is never built.
            ResultDocument result;
            result.reduced = reducedOverlay(adjusted, outcome.variables, documentSource(doc->tree), conditions);
            result.document = doc;
            return result;
        }
        const Tree* reduced = reducedDocument(adjusted, outcome.variables, doc->tree.root(), conditions);
        ResultList one{{EmbeddingEntry{0, 0, 0, 0, 0, reduced}}, nullptr};
        ResultDocument result = buildQueryResult(one, "neg", 0, outer, count);
        result.cutBelowRoot = true;
        return result;
    }

    auto [doc, outcome] = evaluate();
    const ResultList& found = outcome.results.get();
    EntryList adjusted;
    adjusted.reserve(found.entries.size());
    for (const auto& e : found.entries) adjusted.push_back(adjustRoot(e));
    // A count reads no tree; an exact statement prints only the matches of
    // cost 0.
    filter::ResultTrees trees = filter::ResultTrees::All;
    if (count >= 0 || count == -2)
        trees = filter::ResultTrees::None;
    else if (kind == "bestEx" || kind == "allEx")
        trees = filter::ResultTrees::CostZero;
    ResultList accepted{acceptedMatches(adjusted, outcome.variables, documentSource(doc->tree), conditions, trees),
                        found.failure};
    return buildQueryResult(accepted, kind, 1, outer, count);
}

}  // namespace axf::app
