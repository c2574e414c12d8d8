// The program: the entry of app/.
//
// Stages of one run, in order:
//   main.cpp               main: standard descriptors held, the run on a large
//                          stack, every failure reported one way (runReportingFailures)
//                          and written to standard error there
//   FilterRun.{h,cpp}      filterXML: the filter parsed and its rule tree read
//                          into the typed rule (filter/), its document source read
//                          (evaluateRuleOnSource), the result and timing printed
//   Platform.{h,cpp}       document files read whole, the wall clock
//   RuleEvaluation.{h,cpp} one rule evaluated against its document: indexing,
//                          searches, the folding of results, the result document
//                          (RuleEvaluationInternal.h: what the printer and tests share)
//   VariablesStep.{h,cpp}  the variables and conditions step (filter/VariableBinding)
//   ResultPrinter.{h,cpp}  the result document printed
// Public: the functions these headers declare; the library axf_app holds all
// but main.cpp, so that tests drive a whole run through filterXML.
//
// One filter run: parse the filter, evaluate its rule against its document,
// print the result document and the timing lines.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/RuleEvaluation.h"
#include "filter/Rule.h"
#include "common/Output.h"
#include "xml/XML.h"

namespace axf::app {

// How the messages about a document name an inline one and a nested rule's result.
inline const std::string inlineDocumentName = "inline document";
inline const std::string nestedResultName = "result of the nested filter";

// Lines for standard error that explain a run without changing its output or
// status: where a filter stopped parsing and what it expected, a query tag no
// document can hold, a document with no element. main writes them after the
// run, each followed by a newline.
using RunNotes = std::vector<std::string>;

// How a run ended: its exit status, and the text main writes to standard
// error when the run failed (empty otherwise).
struct RunEnd {
    int status = 0;
    std::string failureText;
};

// Runs the whole of a run. Whatever it throws ends the run the same way:
// what stdout holds is flushed, and the failure text is one line (the text
// of Fatal or InternalError, "out of memory", or "axfilter: unexpected
// error: ..." for anything else), then the note of a Fatal that has one, each
// followed by a newline; the status is 1. A failure to write stdout is one
// more line, before the run's own.
RunEnd runReportingFailures(const std::function<int()>& run);

// Parses and runs one filter, writing to the sink. Returns the exit status:
// 0 for a run that printed its result, 1 for a filter that does not parse.
// Explanations for standard error are added to `notes` when it is given.
int filterXML(std::string_view filterText, Sink& sink, RunNotes* notes = nullptr);

// The rule's result document, its source read first: a file is read now,
// before anything is printed, and a nested rule is evaluated now (its own
// source read) while its result document waits until its text is needed.
// `outermost` is set for the rule given on the command line, clear for a
// rule serving as another rule's source. A document read with no element in
// it adds a note.
ResultDocument evaluateRuleOnSource(const filter::Rule& rule, bool outermost, RunNotes* notes = nullptr);

// The notes a rule gives before it runs: each query tag outside the tag
// vocabulary (once), and each inline document that is a bare text with no
// element (`in 'doc.xml'` without `file`). Nested rules included.
void noteRuleMistakes(const filter::Rule& rule, RunNotes& notes);

// The note for a document text given by the user that holds no element, or
// nothing when it holds one. `name` names the document as its messages do.
std::optional<std::string> noElementNote(std::string_view text, std::string_view name);

}  // namespace axf::app
