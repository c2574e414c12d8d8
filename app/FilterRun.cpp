#include "app/FilterRun.h"

#include <exception>
#include <new>
#include <optional>
#include <stdexcept>
#include <variant>

#include "app/ConditionReading.h"
#include "app/Platform.h"
#include "common/DecimalInteger.h"
#include "common/Fatal.h"
#include "common/MessageText.h"
#include "filter/FilterParser.h"
#include "index/SourcePosition.h"

namespace axf::app {

using xml::ELNode;
using xml::Tree;
using xml::TXNode;

namespace {

bool isTextLeaf(const Tree* t) { return t->isLeaf() && std::holds_alternative<TXNode>(t->value); }

bool isPlainElement(const Tree* t, std::string_view name) {
    const auto* el = std::get_if<ELNode>(&t->value);
    return el && el->name == name && el->attributes.empty();
}

// The empty result, or a count: an element without children named
// "Empty Result", or "0000" with attributes.
bool isEmptyOrCount(const Tree* t) {
    const auto* el = std::get_if<ELNode>(&t->value);
    if (!el || !t->isLeaf()) return false;
    return (el->name == "Empty Result" && el->attributes.empty()) || (el->name == "0000" && !el->attributes.empty());
}

std::int64_t readCount(const std::string& text) {
    std::int32_t value = 0;
    DecimalRead read = readDecimal(text, value);
    if (read == DecimalRead::OutOfRange)
        throw Fatal("Attention: the count bound " + cutForMessage(text) + " is out of range");
    if (read != DecimalRead::Ok) throw InternalError("evaluateRuleTree: count " + text);
    return value;
}

}  // namespace

ResultDocument evaluateRuleOnSource(bool outermost, const std::string& kind, const Tree* query, const Tree* source,
                            const filter::RuleConditions& conditions, const Tree* polarity, std::int64_t count) {
    if (!isTextLeaf(polarity)) throw InternalError("evaluateRuleOnSource: polarity is not a text");
    const std::string& pol = std::get<TXNode>(polarity->value).text;
    Lazy<std::string> text;
    // A document text given by the user (a file's or an inline one) comes
    // here whole; a nested rule's result is printed by this program and
    // opens with its root's tag.
    std::optional<std::string> given;
    index::DocumentOrigin origin;  // names the document in its messages
    if (isPlainElement(source, "file") && source->nkids == 1 && isTextLeaf(source->children()[0])) {
        // The file is opened and read now, before anything is printed.
        const std::string& name = std::get<TXNode>(source->children()[0]->value).text;
        origin.name = cutForMessage(name, kQuotedPathBytes);
        given = readDocumentFile(name);
    } else if (isPlainElement(source, "rule")) {
        // The nested rule's files are opened now; its evaluation waits until
        // its document text is needed.
        ResultDocument nested = evaluateRuleTree(source->children(), false);
        origin.name = nestedResultName;
        // A nested result that lists nothing (the empty result or a count)
        // serves as an empty document.
        text = makeLazy([nested]() -> std::string {
            if (nested.tree && isEmptyOrCount(nested.tree)) return {};
            return showResultDocument(0, false, nested);
        });
    } else if (isPlainElement(source, "xml") && source->nkids == 1 && isTextLeaf(source->children()[0])) {
        given = std::get<TXNode>(source->children()[0]->value).text;
        origin.name = inlineDocumentName;
    } else {
        throw InternalError("evaluateRuleOnSource: unknown document source");
    }
    // A byte-order mark is not part of the document: it goes before anything reads the text.
    if (given) {
        const std::size_t size = given->size();
        text = Lazy<std::string>::ready(skipByteOrderMark(std::move(*given)));
        origin.leadingBytes = size - text.get().size();
    }
    return evaluateRule(kind, defaultSearchType, text, conditions, pol, outermost, query, count, origin);
}

ResultDocument evaluateRuleTree(std::span<const Tree* const> parts, bool outermost) {
    if (parts.size() != 6) throw InternalError("evaluateRuleTree: a rule has six parts");
    const std::string& kind = getLabel(parts[0]);
    filter::RuleConditions conditions = parseCond(parts[3]);
    std::int64_t count = readCount(getLabel(parts[5]));
    return evaluateRuleOnSource(outermost, kind, parts[1], parts[2], conditions, parts[4], count);
}

namespace {

// Flushes stdout, then writes the message: status 1.
int reportFailure(std::string_view message, std::FILE* errors) {
    try {
        out().flush();
    } catch (const Fatal& e) {
        std::fprintf(errors, "%s\n", e.what());
    }
    std::fprintf(errors, "%.*s\n", static_cast<int>(message.size()), message.data());
    std::fflush(errors);
    return 1;
}

}  // namespace

int runReportingFailures(const std::function<int()>& run, std::FILE* errors) {
    try {
        return run();
    } catch (const Fatal& e) {
        return reportFailure(e.what(), errors);
    } catch (const InternalError& e) {
        return reportFailure(e.what(), errors);
    } catch (const std::bad_alloc&) {
        return reportFailure("out of memory", errors);
    } catch (const std::length_error&) {
        // A size past what a container can hold: the same failure as an
        // allocation that fails.
        return reportFailure("out of memory", errors);
    } catch (const std::exception& e) {
        return reportFailure(std::string("axfilter: unexpected error: ") + e.what(), errors);
    } catch (...) {
        return reportFailure("axfilter: unexpected error", errors);
    }
}

int filterXML(std::string_view filterText, Sink& sink) {
    filter::ParseResult parsed = filter::parseFilter(filterText);
    if (const auto* fail = std::get_if<filter::ParseFail>(&parsed)) {
        sink.write("Attention ");
        sink.write(fail->message);
        sink.write("\n");
        return 1;
    }
    const Tree* rule = std::get<filter::ParseOk>(parsed).tree;
    if (!isPlainElement(rule, "rule")) throw InternalError("filterXML: the parse result is not a rule");
    ClockTime first = getClockTime();
    ResultDocument result = evaluateRuleTree(rule->children(), true);
    writeResultDocument(0, true, result, sink);
    sink.write("\n");
    ClockTime second = getClockTime();
    sink.write("Ricerca embedding, tempo impiegato:\n");
    sink.write(timeDiffText(first, second));
    sink.write("\n");
    return 0;
}

}  // namespace axf::app
