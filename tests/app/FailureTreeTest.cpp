// A failure tree stands in a result for an error raised only when the result
// is read. Whatever is built over a failure is the failure itself, so it
// reaches the readers whole; and every reader (printers, label cutting,
// conditions, variable binding, match removal, the XML library's own walks)
// raises the failure's own message, never another error quoting it, also
// when it meets a failure inside a tree.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/ResultPrinter.h"
#include "app/ResultPrinterInternal.h"
#include "app/RuleEvaluation.h"
#include "app/RuleEvaluationInternal.h"
#include "common/Fatal.h"
#include "common/Output.h"
#include "filter/ConditionCheck.h"
#include "filter/ConditionCheckInternal.h"
#include "filter/VariableBinding.h"
#include "filter/VariableBindingInternal.h"
#include "query/Combination.h"
#include "query/Embedding.h"
#include "query/EmbeddingInternal.h"
#include "query/FailureTreeInternal.h"
#include "query/MatchRemoval.h"
#include "query/MatchRemovalInternal.h"
#include "query/NodeLabel.h"
#include "xml/Show.h"
#include "xml/XMLPrint.h"
#include "xml/XMLTree.h"

namespace {

using axf::xml::elem;
using axf::xml::text;
using axf::xml::Tree;

const std::string kMessage = "combineAndBest: second tree root is a text node";

std::string shown(const Tree* t) {
    std::string out;
    axf::xml::showAt(0, t->value, out);
    return out;
}

TEST(FailureTree, BuildersKeepTheFailureWhole) {
    const Tree* failure = axf::query::makeDeferredFailure(kMessage);
    ASSERT_TRUE(axf::query::isDeferredFailure(failure));
    EXPECT_EQ(axf::query::deferredFailureText(failure), kMessage);

    // A stamp of a failure, as a match or as a left-out node, is the failure:
    // the message does not grow by the stamp's label.
    const axf::index::EmbeddingEntry entry{3, 1, 5, 0, 2, failure};
    EXPECT_EQ(axf::query::stampMatch("7", entry).tree, failure);

    // A parent over a failure is the failure; its siblings are wrapped.
    const Tree* ok = elem("b^2^4");
    const Tree* const trees[] = {ok, failure};
    const auto wrapped = axf::query::entriesOverTrees(3, 1, 5, 0, 2, "a", "1", 0, trees);
    ASSERT_EQ(wrapped.size(), 2u);
    EXPECT_EQ(shown(wrapped[0].tree), "ELNode \"a^1^3\" []");
    EXPECT_EQ(wrapped[1].tree, failure);
    EXPECT_EQ(wrapped[1].position, 3);
    EXPECT_EQ(wrapped[1].cost, 2);

    EXPECT_EQ(axf::query::restoreAttributes(failure), failure);
    EXPECT_EQ(shown(failure), "FailureNode \"" + kMessage + "\"");
}

TEST(FailureTree, EveryReaderRaisesTheFailuresOwnMessage) {
    const Tree* failure = axf::query::makeDeferredFailure(kMessage);
    // A labelled result with the failure below an ordinary child.
    const Tree* inside = elem("a^1^1", {text("x^2^2"), elem("c^3^3", {failure})});
    // The labelled document the removal works on.
    const Tree* document = elem("a^1", {text("x^2"), elem("c^3", {text("y^4")})});

    const struct {
        const char* reader;
        std::function<void(const Tree*)> read;
        bool readsBelowTheRoot;
    } readers[] = {
        {"result printer", [](const Tree* t) { axf::app::showFormattedXML(0, false, t); }, true},
        {"result printer with result names", [](const Tree* t) { axf::app::showFormattedXML(0, true, t); }, true},
        {"printer of cut labels",
         [](const Tree* t) {
             axf::StringSink sink;
             axf::app::writeCutFormattedXML(0, false, t, sink);
         },
         true},
        {"label cut", [](const Tree* t) { axf::filter::cutLabels(t); }, true},
        {"label cut with attributes", [](const Tree* t) { axf::filter::cutLabelsWithAttributes(t); }, true},
        {"label check", [](const Tree* t) { axf::filter::checkCutLabels(t); }, true},
        {"condition text", [](const Tree* t) { axf::filter::extractText(t); }, true},
        {"condition value", [](const Tree* t) { axf::filter::conditionValue(t); }, true},
        {"variable binding",
         [&](const Tree* t) {
             axf::filter::findVars(document, {{"3", "X"}}, t);
         },
         true},
        {"match removal", [&](const Tree* t) { axf::query::removeEmbeddingFromDocument(document, t, {}); }, true},
        {"label component", [](const Tree* t) { axf::query::rootLabelComponent(t, 1); }, false},
        {"root check", [](const Tree* t) { axf::query::throwIfDeferredFailure(t); }, false},
        {"XML printer", [](const Tree* t) { axf::xml::showXML(t); }, true},
        {"tree as events", [](const Tree* t) { axf::xml::takeEvents(axf::xml::serializeTree(t)); }, true},
        {"string value", [](const Tree* t) { axf::xml::stringValue(t); }, true},
    };
    for (const auto& r : readers) {
        for (const Tree* t : {failure, inside}) {
            if (t == inside && !r.readsBelowTheRoot) continue;
            SCOPED_TRACE(std::string(r.reader) + (t == failure ? ", failure as the tree" : ", failure inside"));
            try {
                r.read(t);
                ADD_FAILURE() << "no error";
            } catch (const axf::InternalError& e) {
                EXPECT_EQ(e.what(), kMessage);
            }
        }
    }
}

TEST(FailureTree, ARunThatReadsNoTreeDoesNotFail) {
    const Tree* failure = axf::query::makeDeferredFailure(kMessage);
    const axf::index::EmbeddingEntry entry{1, 0, 3, 0, 4, failure};
    const Tree* document = elem("a^1", {text("x^2")});
    const axf::filter::RuleConditions none;

    EXPECT_EQ(axf::app::labelCombinedRoot(entry).tree, failure);
    const struct {
        const char* name;
        axf::filter::QueryVariables variables;
    } queries[] = {{"without variables", {}}, {"with a variable", {{"2", "X"}}}};
    for (const auto& q : queries) {
        SCOPED_TRACE(q.name);
        // A count keeps the result and reads nothing of it.
        const auto counted = axf::filter::bindResults({entry}, q.variables, document, none, axf::filter::Polarity::Positive,
                                                      axf::filter::ResultTrees::None);
        ASSERT_EQ(counted.size(), 1u);
        EXPECT_EQ(counted[0].cost, 4);
        // A listing reads it: its own message.
        for (axf::filter::Polarity polarity : {axf::filter::Polarity::Positive, axf::filter::Polarity::Negated}) {
            try {
                axf::filter::bindResults({entry}, q.variables, document, none, polarity);
                ADD_FAILURE() << "no error, negated " << (polarity == axf::filter::Polarity::Negated);
            } catch (const axf::InternalError& e) {
                EXPECT_EQ(e.what(), kMessage);
            }
        }
    }
}

}  // namespace
