// The program: the entry of app/.
//
// Stages of one run, in order:
//   main.cpp               main: standard descriptors held, the run on a large
//                          stack, every failure reported one way (runReportingFailures)
//   FilterRun.{h,cpp}      filterXML: the filter parsed (filter/), the rule tree
//                          decoded (evaluateRuleTree), its document source read
//                          (evaluateRuleOnSource), the result and timing printed
//   Platform.{h,cpp}       document files read whole, the wall clock
//   ConditionReading.{h,cpp} the rule's condition texts read into RuleConditions
//   RuleEvaluation.{h,cpp} one rule evaluated against its document: indexing,
//                          searches, the folding of results
//   VariablesStep.{h,cpp}  the variables and conditions step (filter/VariableBinding)
//   ResultPrinter.{h,cpp}  the result document printed
// Public: the functions these headers declare; the library axf_app holds all
// but main.cpp, so that tests drive a whole run through filterXML.
//
// One filter run: parse the filter, evaluate its rule against its document,
// print the result document and the timing lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/RuleEvaluation.h"
#include "common/Output.h"
#include "xml/XML.h"

namespace axf::app {

inline const std::string defaultSearchType = "E";
// How the messages about a document name an inline one and a nested rule's result.
inline const std::string inlineDocumentName = "inline document";
inline const std::string nestedResultName = "result of the nested filter";

// Lines for standard error that explain a run without changing its output or
// status: where a filter stopped parsing and what it expected, a query tag no
// document can hold, a document with no element. main writes them after the
// run, each followed by a newline.
using RunNotes = std::vector<std::string>;

// Runs the whole of a run and returns its exit status. Whatever it throws
// ends the run the same way: what stdout holds is flushed, one line goes to
// `errors` (the text of Fatal or InternalError, "out of memory", or
// "axfilter: unexpected error: ..." for anything else, then the note of a
// Fatal that has one), and the status is 1. A failure to write stdout is one more line, before the run's own.
int runReportingFailures(const std::function<int()>& run, std::FILE* errors = stderr);

// Parses and runs one filter, writing to the sink. Returns the exit status:
// 0 for a run that printed its result, 1 for a filter that does not parse.
// Explanations for standard error are added to `notes` when it is given.
int filterXML(std::string_view filterText, Sink& sink, RunNotes* notes = nullptr);

// The rule's result document from its six parts; `outermost` is set for
// the rule given on the command line, clear for a rule serving as another
// rule's source. A document read with no element in it adds a note.
ResultDocument evaluateRuleTree(std::span<const xml::Tree* const> parts, bool outermost, RunNotes* notes = nullptr);

ResultDocument evaluateRuleOnSource(bool outermost, const std::string& kind, const xml::Tree* query, const xml::Tree* source,
                            const filter::RuleConditions& conditions, const xml::Tree* polarity, std::int64_t count,
                            RunNotes* notes = nullptr);

// The notes a parsed rule tree gives before it runs: each query tag outside
// the tag vocabulary (once), and each inline document that is a bare text
// with no element (`in 'doc.xml'` without `file`). Nested rules included.
void noteRuleMistakes(const xml::Tree* rule, RunNotes& notes);

// The note for a document text given by the user that holds no element, or
// nothing when it holds one. `name` names the document as its messages do.
std::optional<std::string> noElementNote(std::string_view text, std::string_view name);

}  // namespace axf::app
