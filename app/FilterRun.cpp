#include "app/FilterRun.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <stdexcept>
#include <unordered_set>
#include <variant>

#include "app/ConditionReading.h"
#include "app/Platform.h"
#include "common/ByteClass.h"
#include "common/DecimalInteger.h"
#include "common/Fatal.h"
#include "common/MessageText.h"
#include "filter/FilterParser.h"
#include "index/SourcePosition.h"
#include "index/SynonymClasses.h"

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
                            const filter::RuleConditions& conditions, const Tree* polarity, std::int64_t count,
                            RunNotes* notes) {
    if (!isTextLeaf(polarity)) throw InternalError("evaluateRuleOnSource: polarity is not a text");
    const std::string& pol = std::get<TXNode>(polarity->value).text;
    Lazy<std::string> text;
    // A document text given by the user (a file's or an inline one) comes
    // here whole; a nested rule's result is printed by this program and
    // opens with its root's tag.
    std::optional<std::string> given;
    index::DocumentOrigin origin;  // names the document in its messages
    if (isPlainElement(source, "file") && source->kidCount == 1 && isTextLeaf(source->children()[0])) {
        // The file is opened and read now, before anything is printed.
        const std::string& name = std::get<TXNode>(source->children()[0]->value).text;
        origin.name = cutForMessage(name, kQuotedPathBytes);
        given = readDocumentFile(name);
        if (notes)
            if (auto note = noElementNote(*given, origin.name)) notes->push_back(std::move(*note));
    } else if (isPlainElement(source, "rule")) {
        // The nested rule's files are opened now; its evaluation waits until
        // its document text is needed.
        ResultDocument nested = evaluateRuleTree(source->children(), false, notes);
        origin.name = nestedResultName;
        // A nested result that lists nothing (the empty result or a count)
        // serves as an empty document.
        text = makeLazy([nested]() -> std::string {
            if (nested.tree && isEmptyOrCount(nested.tree)) return {};
            return showResultDocument(0, false, nested);
        });
    } else if (isPlainElement(source, "xml") && source->kidCount == 1 && isTextLeaf(source->children()[0])) {
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

ResultDocument evaluateRuleTree(std::span<const Tree* const> parts, bool outermost, RunNotes* notes) {
    if (parts.size() != 6) throw InternalError("evaluateRuleTree: a rule has six parts");
    const std::string& kind = getLabel(parts[0]);
    filter::RuleConditions conditions = parseCond(parts[3]);
    std::int64_t count = readCount(getLabel(parts[5]));
    return evaluateRuleOnSource(outermost, kind, parts[1], parts[2], conditions, parts[4], count, notes);
}

std::optional<std::string> noElementNote(std::string_view text, std::string_view name) {
    // An element begins where '<' is followed by a name's first byte.
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
        if (at + 1 == text.size()) break;
        unsigned char c = static_cast<unsigned char>(text[at + 1]);
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 128) return std::nullopt;
    }
    bool blank = true;
    for (char c : text) blank = blank && isSpaceByte(static_cast<unsigned char>(c));
    std::string shown(name);
    return "axfilter: note: the document " + shown + (blank ? " is empty" : " holds no element") +
           ": nothing in it can match";
}

namespace {

bool isLogicGroup(const Tree* t) {
    return isPlainElement(t, "and") || isPlainElement(t, "or") || isPlainElement(t, "xor");
}

// A query tag's name without its selector ("name" of "name[2]").
std::string_view tagName(std::string_view tag) { return tag.substr(0, tag.find('[')); }

}  // namespace

void noteRuleMistakes(const Tree* rule, RunNotes& notes) {
    // Each tag once; past kMostTagsNoted of them, one line counts the rest.
    constexpr std::size_t kMostTagsNoted = 10;
    std::unordered_set<std::string_view> reported;
    std::vector<const Tree*> rules{rule};
    while (!rules.empty()) {
        const Tree* r = rules.back();
        rules.pop_back();
        if (!isPlainElement(r, "rule") || r->kidCount != 6) continue;
        std::span<const Tree* const> parts = r->children();
        std::vector<const Tree*> todo{parts[1]};
        while (!todo.empty()) {
            const Tree* t = todo.back();
            todo.pop_back();
            std::span<const Tree* const> kids = t->children();
            for (auto kid = kids.rbegin(); kid != kids.rend(); ++kid) todo.push_back(*kid);  // in written order
            const auto* el = std::get_if<ELNode>(&t->value);
            if (!el || isLogicGroup(t)) continue;
            std::string_view name = tagName(el->name);
            if (index::lookupVocabulary(name) || !reported.insert(name).second) continue;
            if (reported.size() <= kMostTagsNoted)
                notes.push_back("axfilter: note: the query tag \"" + cutForMessage(name) +
                                "\" is not in the tag vocabulary: no document can hold it");
        }
        const Tree* source = parts[2];
        if (isPlainElement(source, "rule")) {
            rules.push_back(source);
        } else if (isPlainElement(source, "xml") && source->kidCount == 1 && isTextLeaf(source->children()[0])) {
            const std::string& text = std::get<TXNode>(source->children()[0]->value).text;
            if (text.empty() || text[0] != '<')
                notes.push_back("axfilter: note: in '" + cutForMessage(text) +
                                "' is an inline document holding only a text, with no element: to read a file, write in file '" +
                                cutForMessage(text) + "'");
        }
    }
    if (reported.size() > kMostTagsNoted)
        notes.push_back("axfilter: note: and " + std::to_string(reported.size() - kMostTagsNoted) +
                        " more query tags outside the tag vocabulary");
}

namespace {

// Flushes stdout, then writes the message and its note: status 1.
int reportFailure(std::string_view message, std::FILE* errors, std::string_view note = {}) {
    try {
        out().flush();
    } catch (const Fatal& e) {
        std::fprintf(errors, "%s\n", e.what());
    }
    std::fprintf(errors, "%.*s\n", static_cast<int>(message.size()), message.data());
    if (!note.empty()) std::fprintf(errors, "%.*s\n", static_cast<int>(note.size()), note.data());
    std::fflush(errors);
    return 1;
}

}  // namespace

int runReportingFailures(const std::function<int()>& run, std::FILE* errors) {
    try {
        return run();
    } catch (const Fatal& e) {
        return reportFailure(e.what(), errors, e.note());
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

int filterXML(std::string_view filterText, Sink& sink, RunNotes* notes) {
    filter::ParseResult parsed = filter::parseFilter(filterText);
    if (auto* fail = std::get_if<filter::ParseFail>(&parsed)) {
        sink.write("Attention ");
        sink.write(fail->message);
        sink.write("\n");
        if (notes)
            for (std::string& line : fail->explanation) notes->push_back(std::move(line));
        return 1;
    }
    const Tree* rule = std::get<filter::ParseOk>(parsed).tree;
    if (!isPlainElement(rule, "rule")) throw InternalError("filterXML: the parse result is not a rule");
    if (notes) noteRuleMistakes(rule, *notes);
    ClockTime first = getClockTime();
    ResultDocument result = evaluateRuleTree(rule->children(), true, notes);
    writeResultDocument(0, true, result, sink);
    sink.write("\n");
    ClockTime second = getClockTime();
    sink.write("Ricerca embedding, tempo impiegato:\n");
    sink.write(timeDiffText(first, second));
    sink.write("\n");
    return 0;
}

}  // namespace axf::app
