#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "index/DocumentIndexer.h"
#include "index/ElementIndexInternal.h"
#include "index/Mapping.h"
#include "tests/support/IndexEntries.h"

namespace {

using namespace axf::index;
using axf::testindex::keys;
using axf::testindex::positions;
using axf::xml::elem;

EmbeddingEntry at(std::int64_t position, std::int64_t cost = 0) {
    EmbeddingEntry e;
    e.position = position;
    e.cost = cost;
    return e;
}

TEST(Index, AddRefFilesByKindAndKeepsKeyOrder) {
    Index index;
    index.addRef("b", at(7), LookupKind::Exact);
    index.addRef("a", at(3), LookupKind::WithTranslations);
    index.addRef("b", at(3), LookupKind::Exact);
    index.addRef("b", at(5), LookupKind::Exact);
    index.addRef("b", at(1), LookupKind::Exact);
    index.addRef("a", at(9), LookupKind::WithTranslations);
    index.addRef("a", at(2), LookupKind::WithTranslations);  // in front, whatever its position
    index.addRef("B", at(4), LookupKind::Exact);
    index.addRef("b ", at(4), LookupKind::Exact);
    EXPECT_EQ(keys(index), (std::vector<std::string>{"b", "a", "B", "b "}));
    EXPECT_EQ(positions(index.find("b")->exact), (std::vector<std::int64_t>{1, 3, 5, 7}));
    EXPECT_TRUE(index.find("b")->inexact.empty());
    EXPECT_TRUE(index.find("a")->exact.empty());
    EXPECT_EQ(positions(index.find("a")->inexact), (std::vector<std::int64_t>{2, 9, 3}));

    // An equal position goes after the stored one; the index is a value.
    Index copy = index;
    copy.addRef("b", at(7, 42), LookupKind::Exact);
    ASSERT_EQ(copy.find("b")->exact.size(), 5u);
    EXPECT_EQ(copy.find("b")->exact[4].cost, 42);
    EXPECT_EQ(index.find("b")->exact.size(), 4u);
}

TEST(Index, ManyKeysKeepTheirSlotsAndOrder) {
    for (std::size_t reserved : {std::size_t(0), std::size_t(100), std::size_t(50000)}) {
        Index index;
        index.reserve(reserved);
        for (int round = 0; round < 2; ++round)
            for (int k = 0; k < 20000; ++k) index.addRef("key" + std::to_string(k), at(k + round), LookupKind::Exact);
        ASSERT_EQ(index.size(), 20000u);
        for (int k = 0; k < 20000; k += 997) {
            const IndexEntry* e = index.find("key" + std::to_string(k));
            ASSERT_TRUE(e);
            EXPECT_EQ(e, &index.entries()[static_cast<std::size_t>(k)]);
            EXPECT_EQ(positions(e->exact), (std::vector<std::int64_t>{k, k + 1}));
        }
        EXPECT_FALSE(index.find("key20000"));
        EXPECT_FALSE(index.find(""));
    }
}

TEST(Index, GetRefByKind) {
    Index index;
    for (std::int64_t p : {1, 5}) index.addRef("k", at(p, 0), LookupKind::Exact);
    for (std::int64_t p : {5, 3}) index.addRef("k", at(p, 2), LookupKind::WithTranslations);
    index.addRef("only", at(4), LookupKind::Exact);

    struct Case {
        const char* key;
        LookupKind kind;
        std::vector<std::int64_t> positions;
    };
    const Case cases[] = {
        {"k", LookupKind::Exact, {1, 5}},  {"k", LookupKind::WithTranslations, {1, 3, 5, 5}},
        {"only", LookupKind::Exact, {4}},  {"only", LookupKind::WithTranslations, {4}},
        {"absent", LookupKind::Exact, {}}, {"absent", LookupKind::WithTranslations, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + (c.kind == LookupKind::Exact ? " exact" : " with translations"));
        EXPECT_EQ(positions(getRef(index, c.key, c.kind)), c.positions);
        EXPECT_EQ(positions(entriesOf(index.find(c.key), c.kind)), c.positions);
        EXPECT_TRUE(getRef(Index{}, c.key, c.kind).empty());
    }
    EntryList n = getRef(index, "k", LookupKind::WithTranslations);
    EXPECT_EQ(n[2].cost, 2);  // the inexact entry before the exact one
    EXPECT_EQ(n[3].cost, 0);

    EntryList l{at(1), at(4)};
    EXPECT_EQ(positions(sortPos({}, l)), positions(l));
    EXPECT_EQ(positions(sortPos(l, {})), positions(l));
    EXPECT_TRUE(lt(at(1), at(2)));
    EXPECT_FALSE(lt(at(2, 1), at(2, 5)));
    EXPECT_FALSE(lt(at(2, 5), at(2, 1)));
    EXPECT_TRUE(equ(at(2, 1), at(2, 5)));
}

TEST(Index, GetMapName) {
    std::vector<std::pair<std::string, std::string>> pairs{{"3", "a"}, {"4", "b"}, {"3", "c"}};
    EXPECT_EQ(getMapName(std::string("3"), pairs), "a");
    EXPECT_THROW(getMapName(std::string("5"), pairs), axf::InternalError);
    Mapping mapping{"", "item", "@id"};
    EXPECT_EQ(getMapName(2, mapping), "@id");
    EXPECT_THROW(getMapName(0, mapping), axf::InternalError);
    EXPECT_THROW(getMapName(3, mapping), axf::InternalError);
}

// Texts pushed in place are filed later, in the order they came: the
// labels, and the places the texts are filed at, are those of texts pushed
// one by one, names and flushes between them wherever they stand.
TEST(Mapping, TextsPushedInPlaceAreFiledAsTheyCame) {
    std::vector<std::string> texts;
    for (int i = 0; i < 3000; ++i) texts.push_back(i % 7 == 0 ? std::string(80 + i % 5, 'x') : "t" + std::to_string(i % 113));
    Mapping one, later;
    const std::uint32_t a = one.nameNumber("a"), b = later.nameNumber("a");
    for (std::size_t i = 0; i < texts.size(); ++i) {
        one.pushText(texts[i]);
        if (i % 11 == 3) {
            later.pushText(texts[i]);
        } else {
            later.pushTextInPlace(texts[i]);
        }
        if (i % 5 == 0) {
            one.pushName(a);
            later.pushName(b);
        }
        if (i % 97 == 0) later.flushTexts();
    }
    one.finishBuilding();
    later.finishBuilding();
    ASSERT_EQ(one.size(), later.size());
    for (std::size_t i = 0; i < one.size(); ++i) {
        EXPECT_EQ(one.raw()[i], later.raw()[i]) << i;
        EXPECT_EQ(one[i], later[i]) << i;
    }
}

TEST(Merge, SortByPositionKeepsTheFirstOfEachPosition) {
    EXPECT_TRUE(sortByPositionDroppingRepeats({}).empty());
    EXPECT_EQ(positions(sortByPositionDroppingRepeats({at(1), at(2), at(3)})), (std::vector<std::int64_t>{1, 2, 3}));
    EXPECT_EQ(positions(sortByPositionDroppingRepeats({at(3), at(2), at(1)})), (std::vector<std::int64_t>{1, 2, 3}));
    EntryList sorted = sortByPositionDroppingRepeats({at(5, 1), at(3, 2), at(5, 3), at(1, 4), at(3, 5)});
    EXPECT_EQ(positions(sorted), (std::vector<std::int64_t>{1, 3, 5}));
    EXPECT_EQ(sorted[1].cost, 2);
    EXPECT_EQ(sorted[2].cost, 1);
}

TEST(Merge, MergeClassRecords) {
    RenamingList weights = classOfSyn("item");
    EXPECT_EQ(findCost("articolo", weights), 2);
    EXPECT_EQ(findCost("x", {{"x", 7}, {"x", 9}}), 7);
    EXPECT_FALSE(findCost("site", weights));

    IndexEntry entry{"item", {at(2), at(4)}, {at(6, 40), at(8, 41)}};
    std::vector<SynonymRecord> records{
        {"articolo", at(8, 10)}, {"item", at(9)}, {"articolo", at(3, 11)}, {"articolo", at(3, 12)}};
    IndexEntry merged = mergeClassRecords(entry, records, weights);
    EXPECT_EQ(positions(merged.exact), (std::vector<std::int64_t>{2, 4}));
    // item at 9 is never converted; at 3 the record given later wins; at 8
    // the converted record wins over the former inexact entry.
    EXPECT_EQ(positions(merged.inexact), (std::vector<std::int64_t>{3, 6, 8}));
    EXPECT_EQ(merged.inexact[0].cost, 12);
    EXPECT_EQ(merged.inexact[0].renamingCost, 2);
    EXPECT_EQ(merged.inexact[1].renamingCost, 0);
    EXPECT_EQ(merged.inexact[2].cost, 10);
}

TEST(Merge, SynonymIndexGroupsByClass) {
    SynonymIndex syn;
    EXPECT_TRUE(getSyn(syn, "not a tag").empty());  // the empty index classifies nothing
    addSyn(syn, "name", {"name", at(1)});
    addSyn(syn, "item", {"item", at(2)});
    addSyn(syn, "nome", {"nome", at(3)});
    ASSERT_EQ(syn.size(), 2u);
    EXPECT_EQ(syn[0].first, "12");
    EXPECT_EQ(syn[1].first, "9");
    auto records = getSyn(syn, "name");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].entry.position, 3);  // newest first
    EXPECT_EQ(records[1].entry.position, 1);
    EXPECT_TRUE(getSyn(syn, "africa").empty());
    EXPECT_THROW(addSyn(syn, "Name", {"Name", at(4)}), axf::Fatal);
    EXPECT_THROW(getSyn(syn, "Name"), axf::Fatal);
}

}  // namespace
