// The diagnostic printer of one embedding entry: its fixed lines, the cost and
// position, and the tree printed after its attribute elements are restored.
#include <gtest/gtest.h>

#include <string>

#include "common/Fatal.h"
#include "common/Output.h"
#include "query/Embedding.h"
#include "query/EntryDump.h"

using namespace axf;
using axf::index::EmbeddingEntry;
using axf::xml::elem;
using axf::xml::text;

namespace {

std::string dumped(const EmbeddingEntry& e) {
    StringSink sink;
    query::dumpEntry(e, sink);
    return sink.take();
}

}  // namespace

TEST(View, PrintsCostPositionAndTreeWithAttributesRestored) {
    // person^2^3 over @id (p1), name (Ann) and @lang (en), as the search builds it.
    EmbeddingEntry e{
        3, 2, 9, 0, 7, elem("person^2^3", {elem("@id", {text("p1")}), elem("name", {text("Ann")}), elem("@lang", {text("en")})})};
    EXPECT_EQ(dumped(e),
              "Embedding cost: 7\n"
              "Embedding position: 3\n"
              "Embedding tree:\n"
              "Tree (ELNode \"person^2^3\" [(\"id\",\"p1\"),(\"lang\",\"en\")]) "
              "[Tree (ELNode \"name\" []) [Tree (TXNode \"Ann\") []]]\n");
}

TEST(View, TextTreesAndNegativeNumbers) {
    EmbeddingEntry e{-1, 0, 0, 0, -5, text("say \"hi\"^4^12")};
    EXPECT_EQ(dumped(e),
              "Embedding cost: -5\n"
              "Embedding position: -1\n"
              "Embedding tree:\n"
              "Tree (TXNode \"say \\\"hi\\\"^4^12\") []\n");
}

TEST(View, EntryWithoutTreeIsRefused) {
    StringSink sink;
    EXPECT_THROW(query::dumpEntry(EmbeddingEntry{}, sink), InternalError);
    EXPECT_EQ(sink.text(), "");
}

TEST(View, OneArgumentFormWritesToStandardOutput) {
    EmbeddingEntry e{1, 0, 1, 0, 0, elem("a^2^1")};
    out().flush();
    testing::internal::CaptureStdout();
    query::dumpEntry(e);
    out().flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), dumped(e));
}
