#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "common/Output.h"
#include "query/AnnotationDump.h"
#include "query/AnnotationDumpInternal.h"
#include "query/ExtendQuery.h"
#include "query/QueryAnnotation.h"
#include "xml/XML.h"

namespace {

using namespace axf::query;
using axf::StringSink;
using axf::xml::AttList;
using axf::xml::ELNode;
using axf::xml::makeTree;
using axf::xml::text;
using axf::xml::Tree;

const Tree* q(std::string name, AttList atts = {}, std::initializer_list<const Tree*> kids = {}) {
    return makeTree(ELNode{std::move(name), std::move(atts)}, kids);
}

TEST(AnnotationDump, PairsAreRawOrPrinted) {
    StringSink s;
    dumpTextPair({"7", "a, (b) \"c\""}, s);
    dumpCostPair(std::pair<std::string, std::int64_t>{"12", 5}, s);
    dumpCostPair(std::pair<std::string, std::int64_t>{"3", -2}, s);
    dumpCostPair(std::pair<std::string, std::string>{"2", "x\"y\n\\"}, s);
    EXPECT_EQ(s.text(), "(7, a, (b) \"c\") (12, 5) (3, -2) (2, \"x\\\"y\\n\\\\\") ");
}

TEST(AnnotationDump, OneElementQueryInBothForms) {
    const std::string head = "Tree (ELNode \"2\" []) []\nMapping:\n(2, a) \nSumDelCost:\n";
    const std::string tail = "Variables:\n\n\n\nSearch type:\n\n2\n";
    StringSink extended;
    dumpExtendedAnnotation(q("a"), 2, extended);
    EXPECT_EQ(extended.text(), head + "\n" + tail);

    StringSink plain;
    dumpPlainAnnotation(q("a"), 2, plain);
    EXPECT_EQ(plain.text(), head + "(2, \"5\") \n" + tail);
}

TEST(AnnotationDump, ExtendedQueryWithItsAlternative) {
    StringSink s;
    dumpExtendedAnnotation(q("a", {}, {q("b", {}, {text("t")})}), 2, s);
    EXPECT_EQ(s.text(),
              "Tree (ELNode \"2\" []) [Tree (ELNode \"3\" []) [Tree (ELNode \"4\" []) [Tree (TXNode \"5\") []],"
              "Tree (TXNode \"6\") []]]\n"
              "Mapping:\n(2, a) (3, or) (4, b) (6, t) (5, t) \n"
              "SumDelCost:\n(6, 5) \n"
              "Variables:\n\n\n\n"
              "Search type:\n\n"
              "6\n");
}

TEST(AnnotationDump, PlainQueryWithVariableAndType) {
    StringSink s;
    dumpPlainAnnotation(q("a", {{"type", "E"}}, {q("b", {{"var", "X"}})}), 4, s);
    EXPECT_EQ(s.text(),
              "Tree (ELNode \"4\" []) [Tree (ELNode \"5\" []) []]\n"
              "Mapping:\n(4, a) (5, b) \n"
              "SumDelCost:\n(2, \"5\") \n"
              "Variables:\n(5, X) \n\n\n"
              "Search type:\n(4, E) \n"
              "5\n");
}

}  // namespace
