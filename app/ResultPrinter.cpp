#include "app/ResultPrinter.h"

#include <exception>
#include <optional>
#include <span>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "app/ResultPrinterInternal.h"
#include "app/RuleEvaluationInternal.h"
#include "app/VariablesStep.h"
#include "common/Fatal.h"
#include "filter/VariableBinding.h"
#include "query/AttributeElements.h"
#include "query/Combination.h"
#include "query/MatchRemoval.h"
#include "query/NodeLabel.h"
#include "xml/IndentedXML.h"

namespace axf::app {

using xml::ELNode;
using xml::Tree;
using xml::TXNode;

namespace {

// A result document holds elements and texts only; a deferred failure
// fails when it is printed.
void checkResultNode(const Tree* tree) {
    query::throwIfDeferredFailure(tree);
    if (!std::holds_alternative<TXNode>(tree->value) && !std::holds_alternative<ELNode>(tree->value))
        throw InternalError("checkResultNode: a result document holds a node that is neither element nor text");
}

}  // namespace

// The printer's options for a result: laid out, escaped, the result roots'
// output names when resultNames is set.
xml::XMLPrintOptions resultPrintOptions(bool resultNames) {
    xml::XMLPrintOptions options;
    options.layout = true;
    options.resultNames = resultNames;
    options.escaped = true;
    options.checkNode = checkResultNode;
    return options;
}

// Pieces of the printer, for printers of documents whose children are
// produced one at a time.
void writeStartTag(std::int64_t level, bool resultNames, const ELNode& el, bool empty, Sink& sink) {
    xml::writeStartTag(level, resultPrintOptions(resultNames), el, empty, sink);
}

void writeEndTag(std::int64_t level, bool resultNames, const ELNode& el, Sink& sink) {
    xml::writeEndTag(level, resultPrintOptions(resultNames), el.name, sink);
}

// An element whose only child is the given text (one line or three lines).
void writeTextElement(std::int64_t level, bool resultNames, const ELNode& el, std::string_view text, Sink& sink) {
    xml::writeTextElement(level, resultPrintOptions(resultNames), el, text, sink);
}

namespace {

// A whole tree, written to a sink as it is produced.
void writeFormattedXML(std::int64_t level, bool resultNames, const Tree* tree, Sink& sink) {
    xml::writeIndentedXML(level, resultPrintOptions(resultNames), tree, sink);
}

// Writes the opening of el over its cut children: true when it was left open
// for children to follow (and then its end tag).
bool openElementOverCut(std::int64_t level, bool resultNames, const ELNode& el, std::span<const Tree* const> labelledKids,
                        Sink& sink) {
    if (labelledKids.empty()) {
        writeStartTag(level, resultNames, el, true, sink);
        return false;
    }
    if (labelledKids.size() == 1 && labelledKids[0]->isLeaf()) {
        if (const auto* only = std::get_if<TXNode>(&labelledKids[0]->value)) {
            writeTextElement(level, resultNames, el, query::getLabelComponent(only->text, 1), sink);
            return false;
        }
    }
    writeStartTag(level, resultNames, el, false, sink);
    return true;
}

// The element el over document trees with labels (see writeCutFormattedXML),
// written as writeFormattedXML writes el over the cut trees.
void writeElementOverCut(std::int64_t level, bool resultNames, const ELNode& el, std::span<const Tree* const> labelledKids,
                         Sink& sink) {
    if (!openElementOverCut(level, resultNames, el, labelledKids, sink)) return;
    // The open elements, outermost first: the tree is as deep as the
    // document, so it is walked with a stack of its own.
    struct Open {
        std::string name;
        xml::TreeList kids;
        std::size_t next;
        std::int64_t level;
    };
    std::vector<Open> open;
    open.push_back(Open{el.name, xml::TreeList(labelledKids.begin(), labelledKids.end()), 0, level});
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next == top.kids.size()) {
            xml::writeEndTag(top.level, resultPrintOptions(resultNames), top.name, sink);
            open.pop_back();
            continue;
        }
        const Tree* kid = top.kids[top.next++];
        const std::int64_t kidLevel = top.level + 1;
        filter::CutNode n = filter::cutNode(kid);
        if (n.text) {
            xml::writeTextLine(kidLevel, resultPrintOptions(resultNames), n.label, sink);
            continue;
        }
        ELNode child{std::move(n.label), std::move(n.attributes)};
        if (openElementOverCut(kidLevel, resultNames, child, n.kids, sink))  // top is not used after this
            open.push_back(Open{std::move(child.name), std::move(n.kids), 0, kidLevel});
    }
}

}  // namespace

void writeCutFormattedXML(std::int64_t level, bool resultNames, const Tree* labelled, Sink& sink) {
    filter::CutNode n = filter::cutNode(labelled);
    if (n.text) {
        xml::writeTextLine(level, resultPrintOptions(resultNames), n.label, sink);
        return;
    }
    const ELNode el{std::move(n.label), std::move(n.attributes)};
    writeElementOverCut(level, resultNames, el, n.kids, sink);
}

std::string showFormattedXML(std::int64_t level, bool resultNames, const Tree* tree) {
    StringSink s;
    writeFormattedXML(level, resultNames, tree, s);
    return s.take();
}

// ---------------------------------------------------------------------------
// Result documents

namespace {

const Tree* rankElement(std::int64_t cost) { return xml::leafNode(ELNode{"Query Rank", {{"rank", std::to_string(cost)}}}); }

class RankElements {
public:
    const Tree* of(std::int64_t cost) {
        auto [it, fresh] = made_.emplace(cost, nullptr);
        if (fresh) it->second = rankElement(cost);
        return it->second;
    }

private:
    std::unordered_map<std::int64_t, const Tree*> made_;
};

// Every printed entry, made one at a time: each entry's joined root is put
// together from its leaves' printed parts on the stack, so nothing is kept
// per entry.
void writePrintedParts(std::int64_t level, bool resultNames, const ProductListing& p, const PrintedParts& parts, Sink& sink) {
    const std::vector<const query::ResultSet*> leaves = p.product->leaves();
    const std::size_t k = leaves.size();
    std::vector<std::size_t> at(k, 0);
    std::vector<const Tree*> kids;
    RankElements ranks;
    Tree joined;
    for (;;) {
        std::int64_t cost = 0;
        for (std::size_t i = 0; i < k; ++i) cost += leaves[i]->entries()[at[i]].cost;
        if (p.listing != MatchListing::CostZeroTrees || cost == 0) {
            if (p.listing == MatchListing::RankedTrees) writeFormattedXML(level, resultNames, ranks.of(cost), sink);
            ELNode root{parts.root.name, parts.root.attributes};
            kids.clear();
            for (std::size_t i : parts.order) {
                const PrintedPart& part = parts.leaves[i][at[i]];
                for (const xml::Attribute& a : part.attributes) root.attributes.emplace_back(a);
                kids.insert(kids.end(), part.kids.begin(), part.kids.end());
            }
            joined.value = std::move(root);
            joined.kids = kids.data();
            joined.kidCount = xml::childCount(kids.size());
            writeFormattedXML(level, resultNames, &joined, sink);
        }
        std::size_t i = k;
        while (i > 0 && ++at[i - 1] == leaves[i - 1]->entries().size()) {
            at[i - 1] = 0;
            --i;
        }
        if (i == 0) return;
    }
}

// Every accepted entry, made, examined and printed one at a time (the
// conditions were checked over every entry before the first was printed).
void writeExaminedEntries(std::int64_t level, bool resultNames, const ProductListing& p, Sink& sink) {
    std::unique_ptr<filter::ResultBinder> binder = resultBinder(p.variables, p.source, p.conditions, p.trees);
    RankElements ranks;
    p.product->forEach([&](const EmbeddingEntry& e) {
        std::optional<EmbeddingEntry> accepted = binder->examine(labelCombinedRoot(e));
        if (!accepted) return true;
        if (p.listing == MatchListing::CostZeroTrees && accepted->cost != 0) return true;
        if (p.listing == MatchListing::RankedTrees) writeFormattedXML(level, resultNames, ranks.of(accepted->cost), sink);
        const Tree* t = query::restoreAttributes(accepted->tree);
        query::throwIfDeferredFailure(t);
        writeFormattedXML(level, resultNames, t, sink);
        return true;
    });
}

void writeProductListing(std::int64_t level, bool resultNames, const ProductListing& p, Sink& sink) {
    const ELNode root{"0000", {}};
    writeStartTag(level, resultNames, root, false, sink);
    if (p.parts)
        writePrintedParts(level + 1, resultNames, p, *p.parts, sink);
    else
        writeExaminedEntries(level + 1, resultNames, p, sink);
    writeEndTag(level, resultNames, root, sink);
}

// A match list under the root "0000": its children are made one at a time,
// as they are printed, and its pending failure fires after the last one.
void writeMatchList(std::int64_t level, bool resultNames, const ResultDocument& doc, Sink& sink) {
    const ELNode root{"0000", {}};
    std::size_t next = 0;
    bool rankPending = false;
    auto nextChild = [&]() -> const Tree* {
        for (;;) {
            if (rankPending) {
                rankPending = false;
                return query::restoreAttributes(doc.matches[next++].tree);
            }
            if (next >= doc.matches.size()) {
                if (doc.failure) std::rethrow_exception(doc.failure);
                return nullptr;
            }
            const EmbeddingEntry& e = doc.matches[next];
            if (doc.listing == MatchListing::RankedTrees) {
                rankPending = true;
                return rankElement(e.cost);
            }
            ++next;
            if (doc.listing == MatchListing::CostZeroTrees && e.cost != 0) continue;
            return query::restoreAttributes(e.tree);
        }
    };
    const Tree* first = nextChild();
    if (!first) throw InternalError("writeMatchList: a match list without matches");
    query::throwIfDeferredFailure(first);
    if (first->isLeaf() && std::holds_alternative<TXNode>(first->value)) {
        const Tree* second = nextChild();
        if (!second) {
            writeTextElement(level, resultNames, root, std::get<TXNode>(first->value).text, sink);
            return;
        }
        writeStartTag(level, resultNames, root, false, sink);
        writeFormattedXML(level + 1, resultNames, first, sink);
        writeFormattedXML(level + 1, resultNames, second, sink);
    } else {
        writeStartTag(level, resultNames, root, false, sink);
        writeFormattedXML(level + 1, resultNames, first, sink);
    }
    while (const Tree* child = nextChild()) writeFormattedXML(level + 1, resultNames, child, sink);
    writeEndTag(level, resultNames, root, sink);
}

}  // namespace

void writeResultDocument(std::int64_t level, bool resultNames, const ResultDocument& doc, Sink& sink) {
    if (doc.product) {
        writeProductListing(level, resultNames, *doc.product, sink);
        return;
    }
    if (doc.reduced) {
        writeReducedDocument(level, resultNames, ELNode{"0000", {}}, *doc.reduced, sink);
        return;
    }
    if (doc.tree && doc.cutBelowRoot) {
        query::throwIfDeferredFailure(doc.tree);
        const auto* root = std::get_if<ELNode>(&doc.tree->value);
        if (!root) throw InternalError("writeResultDocument: a reduced document under a root that is not an element");
        writeElementOverCut(level, resultNames, *root, doc.tree->children(), sink);
        return;
    }
    if (doc.tree) {
        writeFormattedXML(level, resultNames, doc.tree, sink);
        return;
    }
    writeMatchList(level, resultNames, doc, sink);
}

std::string showResultDocument(std::int64_t level, bool resultNames, const ResultDocument& doc) {
    StringSink s;
    writeResultDocument(level, resultNames, doc, s);
    return s.take();
}

}  // namespace axf::app
