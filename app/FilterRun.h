// The program: the entry of app/.
//
// Stages of one run, in order:
//   main.cpp               main: standard descriptors held, the run on a large
//                          stack, every failure reported one way (runReportingFailures)
//                          and written to standard error there; Installation.{h,cpp}:
//                          where the installed documentation is (named by the usage text)
//   FilterRun.{h,cpp}      filterXML: the filter parsed and its rule tree read
//                          into the typed rule (filter/), its document source read
//                          (evaluateRuleOnSource), the result and timing printed
//   Platform.{h,cpp}       document files read whole, the wall clock
//   RuleEvaluation.{h,cpp} one rule evaluated against its document: indexing,
//                          searches, the result document chosen
//                          (RuleEvaluationInternal.h: what the printer and tests share)
//   QueryTreeEvaluation.{h,cpp} the folding of a query's `and`, `or` and `xor`
//                          groups of whole queries into its results
//   ResultDocument.cpp     the result document of a list of matches
//   ProductListing.cpp     a product of whole-query lists listed as matches, its
//                          conditions checked part by part where each reads one part
//   VariablesStep.{h,cpp}  the variables and conditions step (filter/VariableBinding)
//   ResultPrinter.{h,cpp}  the result document printed; ReducedDocumentPrinter.cpp:
//                          the document left by a negated rule, printed from its nodes
// Public: the functions these headers declare. Internal: FilterRunInternal.h,
// PlatformInternal.h, QueryTreeEvaluation.h, ResultPrinterInternal.h and
// RuleEvaluationInternal.h, the steps the folder's files and its tests share. The library axf_app holds
// all but main.cpp, so that tests drive a whole run through filterXML.
//
// One filter run: parse the filter, evaluate its rule against its document,
// print the result document and the timing lines.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Output.h"

namespace axf::app {

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

}  // namespace axf::app
