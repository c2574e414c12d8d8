#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "index/SynonymClasses.h"
#include "index/TranslationTable.h"

namespace {

using namespace axf::index;

// The translation pairs and the names without a translation, as the
// translation table lists them independently of the class table.
const std::vector<std::pair<std::string, std::string>> kPairs = {
    {"acquirente", "buyer"},
    {"annotation", "annotazione"},
    {"articolo", "item"},
    {"asta_aperta", "open_auction"},
    {"asta_chiusa", "closed_auction"},
    {"aste_aperte", "open_auctions"},
    {"aste_chiuse", "closed_auctions"},
    {"bidder", "offerente"},
    {"codice", "id"},
    {"current", "prezzo_corrente"},
    {"description", "descrizione"},
    {"disponibilita", "income"},
    {"emailaddress", "indirizzo_email"},
    {"europa", "europe"},
    {"increase", "incremento"},
    {"initial", "prezzo_base"},
    {"itemref", "riferimento_articolo"},
    {"location", "locazione"},
    {"name", "nome"},
    {"pagamento", "payment"},
    {"people", "persone"},
    {"person", "persona"},
    {"personref", "riferimento_persona"},
    {"prezzo", "price"},
    {"profile", "profilo"},
    {"quantita", "quantity"},
    {"regioni", "regions"},
    {"seller", "venditore"},
    {"site", "sito"},
    {"testo", "text"},
};
const std::vector<std::string> kSingles = {
    "0000",     "?xml",       "Empty Result", "address",    "africa",   "age",      "amount",   "asia",       "australia",
    "author",   "bold",       "business",     "categories", "category", "catgraph", "city",     "country",    "creditcard",
    "date",     "edge",       "education",    "emph",       "end",      "featured", "from",     "gender",     "happiness",
    "homepage", "incategory", "interest",     "interval",   "keyword",  "listitem", "mail",     "mailbox",    "namerica",
    "parlist",  "phone",      "privacy",      "province",   "reserve",  "samerica", "shipping", "standalone", "start",
    "status",   "street",     "time",         "to",         "type",     "version",  "watch",    "watches",    "zipcode"};

using List = std::vector<std::pair<std::string, std::int64_t>>;

List listOf(std::string_view name) {
    List out;
    for (auto& [n, w] : classOfSyn(name)) out.emplace_back(std::string(n), w);
    return out;
}

TEST(SynonymClasses, ClassTexts) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"site", "1"},
        {"sito", "1"},
        {"europa", "6"},
        {"europe", "6"},
        {"acquirente", "71"},
        {"buyer", "71"},
        {"codice", "51"},
        {"id", "51"},
        {"disponibilita", "79"},
        {"income", "79"},
        {"africa", "3"},
        {"item", "9"},
        {"articolo", "9"},
        {"regions", "2"},
        {"0000", "83"},
        {"?xml", "76"},
        {"Empty Result", "84"},
        // names that differ only by an ending lie in different classes
        {"closed_auction", "70"},
        {"closed_auctions", "69"},
        {"open_auction", "50"},
        {"open_auctions", "49"},
        {"watch", "34"},
        {"watches", "33"},
        {"category", "26"},
        {"categories", "25"},
        {"person", "30"},
        {"personref", "56"},
        {"itemref", "60"},
        {"mail", "21"},
        {"mailbox", "20"},
        {"zipcode", "39"}};
    for (auto& [name, cls] : cases) {
        auto got = className(name);
        ASSERT_TRUE(got) << name;
        EXPECT_EQ(*got, cls) << name;
    }
    for (std::string name : {"Site", "empty result", "Empty result", "site ", " site", "", "sit", "sitoo", "@id"})
        EXPECT_FALSE(className(name)) << '"' << name << '"';
}

TEST(SynonymClasses, TableShape) {
    auto classes = synonymClasses();
    ASSERT_EQ(classes.size(), 84u);
    std::set<std::string_view> names;
    int pairs = 0;
    for (std::size_t i = 0; i < classes.size(); ++i) {
        EXPECT_EQ(classes[i].number, int(i) + 1);
        names.insert(classes[i].first);
        if (!classes[i].second.empty()) {
            ++pairs;
            names.insert(classes[i].second);
            EXPECT_LT(classes[i].first, classes[i].second);
        }
    }
    EXPECT_EQ(pairs, 30);
    EXPECT_EQ(names.size(), 114u);
}

TEST(TranslationTable, AgreesWithTheClassTable) {
    std::set<std::string> seen;
    for (auto& [a, b] : kPairs) {
        EXPECT_EQ(listOf(a), (List{{a, 0}, {b, 2}})) << a;
        EXPECT_EQ(listOf(b), (List{{b, 0}, {a, 2}})) << b;
        EXPECT_EQ(className(a), className(b)) << a;
        seen.insert(a);
        seen.insert(b);
    }
    for (auto& n : kSingles) {
        EXPECT_EQ(listOf(n), (List{{n, 0}})) << n;
        seen.insert(n);
    }
    EXPECT_EQ(seen.size(), 114u);
    for (const SynonymClass& c : synonymClasses()) {
        EXPECT_TRUE(seen.count(std::string(c.first))) << c.first;
        if (!c.second.empty()) {
            EXPECT_TRUE(seen.count(std::string(c.second))) << c.second;
        }
    }
}

TEST(TranslationTable, NamesOutsideTheTableAndOtherWeightTypes) {
    EXPECT_EQ(listOf("namerica"), (List{{"namerica", 0}}));
    EXPECT_EQ(listOf("riferimento_articolo"), (List{{"riferimento_articolo", 0}, {"itemref", 2}}));
    for (std::string name : {"Name", "NAME", " name", "name ", "", "open_auctio", "@name", "zz", "nam"})
        EXPECT_TRUE(classOfSyn(name).empty()) << '"' << name << '"';
    auto small = classOfSyn<short>("testo");
    ASSERT_EQ(small.size(), 2u);
    EXPECT_EQ(small[1].first, "text");
    EXPECT_EQ(small[1].second, short(2));
    EXPECT_EQ(small[0].second, short(0));
}

}  // namespace
