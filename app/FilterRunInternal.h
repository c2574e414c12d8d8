// Internal: for this folder and its tests. The steps of filterXML
// (FilterRun.h) after the parser.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/FilterRun.h"
#include "app/RuleEvaluation.h"
#include "filter/Rule.h"

namespace axf::app {

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
