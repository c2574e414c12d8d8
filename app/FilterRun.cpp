#include "app/FilterRun.h"

#include <algorithm>
#include <exception>
#include <new>
#include <optional>
#include <stdexcept>
#include <unordered_set>
#include <variant>

#include "app/FilterRunInternal.h"
#include "app/Platform.h"
#include "app/ResultPrinter.h"
#include "common/ByteClass.h"
#include "common/Fatal.h"
#include "common/MessageText.h"
#include "filter/FilterParser.h"
#include "filter/RuleReading.h"
#include "index/SourcePosition.h"
#include "index/SynonymClasses.h"

namespace axf::app {

using xml::ELNode;
using xml::Tree;

namespace {

// How the messages about a document name an inline one and a nested rule's result.
const std::string inlineDocumentName = "inline document";
const std::string nestedResultName = "result of the nested filter";

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

}  // namespace

ResultDocument evaluateRuleOnSource(const filter::Rule& rule, bool outermost, RunNotes* notes) {
    Lazy<std::string> text;
    // A document text given by the user (a file's or an inline one) comes
    // here whole; a nested rule's result is printed by this program and
    // opens with its root's tag.
    std::optional<std::string> given;
    index::DocumentOrigin origin;  // names the document in its messages
    if (const auto* file = std::get_if<filter::DocumentFile>(&rule.source)) {
        // The file is opened and read now, before anything is printed.
        origin.name = cutForMessage(file->path, kQuotedPathBytes);
        given = readDocumentFile(file->path);
        if (notes)
            if (auto note = noElementNote(*given, origin.name)) notes->push_back(std::move(*note));
    } else if (const auto* nestedRule = std::get_if<filter::NestedRule>(&rule.source)) {
        // The nested rule's files are opened now; its evaluation waits until
        // its document text is needed.
        ResultDocument nested = evaluateRuleOnSource(*nestedRule->rule, false, notes);
        origin.name = nestedResultName;
        // A nested result that lists nothing (the empty result or a count)
        // serves as an empty document.
        text = makeLazy([nested]() -> std::string {
            if (nested.tree && isEmptyOrCount(nested.tree)) return {};
            return showResultDocument(0, false, nested);
        });
    } else {
        given = std::get<filter::InlineDocument>(rule.source).text;
        origin.name = inlineDocumentName;
    }
    // A byte-order mark is not part of the document: it goes before anything reads the text.
    if (given) {
        const std::size_t size = given->size();
        text = Lazy<std::string>::ready(skipByteOrderMark(std::move(*given)));
        origin.leadingBytes = size - text.get().size();
    }
    return evaluateRule(rule, text, outermost, origin);
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
    return "axfilter: note: the document " + shown + (blank ? " is empty" : " holds no element") + ": nothing in it can match";
}

namespace {

bool isLogicGroup(const Tree* t) { return isPlainElement(t, "and") || isPlainElement(t, "or") || isPlainElement(t, "xor"); }

// A query tag's name without its selector ("name" of "name[2]").
std::string_view tagName(std::string_view tag) { return tag.substr(0, tag.find('[')); }

}  // namespace

void noteRuleMistakes(const filter::Rule& rule, RunNotes& notes) {
    // Each tag once; past kMostTagsNoted of them, one line counts the rest.
    constexpr std::size_t kMostTagsNoted = 10;
    std::unordered_set<std::string_view> reported;
    std::vector<const filter::Rule*> rules{&rule};
    while (!rules.empty()) {
        const filter::Rule* r = rules.back();
        rules.pop_back();
        std::vector<const Tree*> todo{r->query};
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
        if (const auto* nested = std::get_if<filter::NestedRule>(&r->source)) {
            rules.push_back(nested->rule.get());
        } else if (const auto* inlineDocument = std::get_if<filter::InlineDocument>(&r->source)) {
            const std::string& text = inlineDocument->text;
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

// A text as the C stream functions write it: up to its first NUL byte.
std::string_view upToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

// Flushes stdout, then gives the message and its note, each followed by a
// newline: status 1. A failure to flush stdout comes first.
RunEnd failureEnd(std::string_view message, std::string_view note = {}) {
    RunEnd end{1, {}};
    try {
        out().flush();
    } catch (const Fatal& e) {
        end.failureText.append(upToNul(e.what())).push_back('\n');
    }
    end.failureText.append(upToNul(message)).push_back('\n');
    if (!note.empty()) end.failureText.append(upToNul(note)).push_back('\n');
    return end;
}

}  // namespace

RunEnd runReportingFailures(const std::function<int()>& run) {
    try {
        return RunEnd{run(), {}};
    } catch (const Fatal& e) {
        return failureEnd(e.what(), e.note());
    } catch (const InternalError& e) {
        return failureEnd(e.what());
    } catch (const std::bad_alloc&) {
        return failureEnd("out of memory");
    } catch (const std::length_error&) {
        // A size past what a container can hold: the same failure as an
        // allocation that fails.
        return failureEnd("out of memory");
    } catch (const std::exception& e) {
        return failureEnd(std::string("axfilter: unexpected error: ") + e.what());
    } catch (...) {
        return failureEnd("axfilter: unexpected error");
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
    const filter::Rule rule = filter::readRule(std::get<filter::ParseOk>(parsed).tree);
    if (notes) noteRuleMistakes(rule, *notes);
    ClockTime first = getClockTime();
    ResultDocument result = evaluateRuleOnSource(rule, true, notes);
    writeResultDocument(0, true, result, sink);
    sink.write("\n");
    ClockTime second = getClockTime();
    sink.write("Ricerca embedding, tempo impiegato:\n");
    sink.write(timeDiffText(first, second));
    sink.write("\n");
    return 0;
}

}  // namespace axf::app
