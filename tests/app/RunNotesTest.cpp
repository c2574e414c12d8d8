// The notes a run adds on standard error without changing its output: a
// document with no element, a query tag no document can hold, an inline
// document that is a bare text.
#include <gtest/gtest.h>

#include <string>
#include <variant>
#include <vector>

#include "app/FilterRun.h"
#include "app/FilterRunInternal.h"
#include "filter/FilterParser.h"
#include "filter/RuleReading.h"

namespace {

using axf::app::noElementNote;

TEST(RunNotes, DocumentWithNoElement) {
    struct Case {
        const char* text;
        const char* note;  // empty: none
    };
    const Case cases[] = {
        {"", "axfilter: note: the document d.xml is empty: nothing in it can match"},
        {" \n\t", "axfilter: note: the document d.xml is empty: nothing in it can match"},
        {"just text", "axfilter: note: the document d.xml holds no element: nothing in it can match"},
        {"<!-- c --><?pi x?>a < b <", "axfilter: note: the document d.xml holds no element: nothing in it can match"},
        {"<?xml version=\"1.0\"?><!-- c --><site/>", ""},
        {"<_x/>", ""},
    };
    for (const Case& c : cases) {
        std::optional<std::string> note = noElementNote(c.text, "d.xml");
        EXPECT_EQ(note.value_or(""), c.note) << c.text;
    }
}

TEST(RunNotes, QueryTagsAndBareInlineTexts) {
    auto notesOf = [](const std::string& filter) {
        axf::filter::ParseResult r = axf::filter::parseFilter(filter);
        axf::app::RunNotes notes;
        axf::app::noteRuleMistakes(axf::filter::readRule(std::get<axf::filter::ParseOk>(r).tree), notes);
        return notes;
    };
    // Each tag once, selectors and translations read as the tag, groups and
    // top-level operators are no tags; nested rules are read too.
    axf::app::RunNotes notes = notesOf(
        "filterAllBest and(book(name[2](X), book(), $title()), person(name() | age())) in "
        "(filterAllExact cd() in site(people()))");
    const axf::app::RunNotes want = {
        "axfilter: note: the query tag \"book\" is not in the tag vocabulary: no document can hold it",
        "axfilter: note: the query tag \"title\" is not in the tag vocabulary: no document can hold it",
        "axfilter: note: the query tag \"cd\" is not in the tag vocabulary: no document can hold it",
    };
    EXPECT_EQ(notes, want);
    EXPECT_EQ(notesOf("filterAllExact person() in 'x.xml'"),
              axf::app::RunNotes{"axfilter: note: in 'x.xml' is an inline document holding only a text, with no element: "
                                 "to read a file, write in file 'x.xml'"});
    EXPECT_TRUE(notesOf("filterAllExact person() in site(people())").empty());
    // Past ten tags, one line counts the rest.
    notes = notesOf("filterAllExact t1(t2(), t3(), t4(), t5(), t6(), t7(), t8(), t9(), t10(), t11(), t12()) in site()");
    ASSERT_EQ(notes.size(), 11u);
    EXPECT_EQ(notes[1], "axfilter: note: the query tag \"t2\" is not in the tag vocabulary: no document can hold it");
    EXPECT_EQ(notes[10], "axfilter: note: and 2 more query tags outside the tag vocabulary");
}

}  // namespace
