// Results that are products of whole queries: printed entry by entry, and
// counted from costs, against the built list.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "app/FilterRun.h"
#include "app/FilterRunInternal.h"
#include "app/ResultPrinter.h"
#include "app/RuleEvaluation.h"
#include "app/RuleEvaluationInternal.h"
#include "common/Fatal.h"
#include "filter/FilterParser.h"
#include "filter/RuleReading.h"
#include "xml/XML.h"

namespace {

using namespace axf::app;
using axf::xml::elem;
using axf::xml::text;

const axf::xml::Tree* withDocument(const axf::xml::Tree* rule, const std::string& doc) {
    std::vector<const axf::xml::Tree*> parts(rule->children().begin(), rule->children().end());
    parts[2] = elem("xml", {text(doc)});
    return axf::xml::makeTree(rule->value, parts);
}

ResultDocument resultOf(const std::string& filterText, const std::string& doc) {
    auto parsed = axf::filter::parseFilter(filterText);
    const auto* ok = std::get_if<axf::filter::ParseOk>(&parsed);
    if (!ok) throw std::runtime_error("does not parse: " + filterText);
    return evaluateRuleOnSource(axf::filter::readRule(withDocument(ok->tree, doc)), true);
}

// A document whose persons hold names, ages and cities in several ways, so
// that queries match at several costs and tie often.
std::string randomDocument(std::mt19937& rng) {
    const char* names[] = {"Anna", "Bruno", "Carla", "dario"};
    std::string d = "<site><people>";
    const int persons = std::uniform_int_distribution<int>(1, 3)(rng);
    for (int i = 0; i < persons; ++i) {
        d += "<person id=\"p" + std::to_string(i) + "\">";
        d += "<name>" + std::string(names[rng() % 4]) + "</name>";
        if (rng() % 2) d += "<age>" + std::to_string(20 + rng() % 30) + "</age>";
        if (rng() % 2) d += "<profile><age>" + std::to_string(20 + rng() % 30) + "</age><city>Roma</city></profile>";
        if (rng() % 3 == 0) d += "<name>" + std::string(names[rng() % 4]) + "</name>";
        d += "</person>";
    }
    d += "</people><regions><europe>";
    const int items = std::uniform_int_distribution<int>(1, 2)(rng);
    for (int i = 0; i < items; ++i) {
        d += "<item><name>thing</name>";
        if (rng() % 2) d += "<location>Italy</location>";
        d += "</item>";
    }
    d += "</europe></regions></site>";
    return d;
}

std::string randomQuery(std::mt19937& rng, int depth) {
    const char* simple[] = {"person(name(X))", "person(age())",    "person(city())",         "item(name())",
                            "name(Y)",         "item(location())", "person(name(), age(A))", "site(person(name()))"};
    if (depth > 0 && rng() % 3 != 0) {
        const char* ops[] = {"and", "or", "xor", "and"};
        std::string q = std::string(ops[rng() % 4]) + "(";
        const int n = depth > 1 ? 2 + static_cast<int>(rng() % 2) : 2;
        for (int i = 0; i < n; ++i) q += (i ? ", " : "") + randomQuery(rng, depth - 1);
        return q + ")";
    }
    return simple[rng() % 8];
}

std::vector<int> ranks(const std::string& printed) {
    static const std::regex rank("<Query Rank rank=\"(\\d+)\"/>");
    std::vector<int> out;
    for (auto it = std::sregex_iterator(printed.begin(), printed.end(), rank); it != std::sregex_iterator(); ++it)
        out.push_back(std::stoi((*it)[1]));
    return out;
}

TEST(ProductListing, RandomFiltersPrintAndCountAsTheBuiltList) {
    std::mt19937 rng(2026);
    const char* conditions[] = {"", "", " where &X match [A-C].*&", " where &A > 30&", " where &X = Y&"};
    int products = 0;
    for (int round = 0; round < 400; ++round) {
        const std::string doc = randomDocument(rng);
        const std::string q = randomQuery(rng, 2);
        std::string cond = conditions[rng() % 5];
        if (cond.find("&X") != std::string::npos && q.find("(X)") == std::string::npos) cond.clear();
        if (cond.find("&A") != std::string::npos && q.find("(A)") == std::string::npos) cond.clear();
        if (cond.find("= Y") != std::string::npos && q.find("(Y)") == std::string::npos) cond.clear();
        for (const char* statement : {"filterAllBest", "filterAllExact"}) {
            const std::string f = std::string(statement) + " " + q + " in file 'doc.xml'" + cond;
            const ResultDocument streamed = resultOf(f, doc);
            if (streamed.product) ++products;
            const std::string printed = showResultDocument(0, true, streamed);
            ASSERT_EQ(printed, showResultDocument(0, true, plainDocument(streamed))) << f << "\n" << doc;
            if (std::string(statement) != "filterAllBest") continue;
            const std::vector<int> listed = ranks(printed);
            // No bound: every match is counted.
            for (std::optional<int> bound :
                 {std::optional<int>(), std::optional<int>(0), std::optional<int>(2), std::optional<int>(5)}) {
                const std::string counted = showResultDocument(
                    0, true, resultOf(!bound ? "count (" + f + ")" : "count " + std::to_string(*bound) + " (" + f + ")", doc));
                std::string want =
                    "<Results Embedding Num=\"" +
                    std::to_string(!bound ? listed.size()
                                          : std::count_if(listed.begin(), listed.end(), [&](int r) { return r <= *bound; })) +
                    "\"/>\n";
                if (listed.empty()) want = "<Empty Result/>\n";
                EXPECT_EQ(counted, want) << "bound " << (bound ? std::to_string(*bound) : "none") << ": " << f << "\n" << doc;
            }
        }
    }
    // Most rounds are products: the comparison is not vacuous.
    EXPECT_GT(products, 200);
}

// Conditions over a product are checked on its parts where each reads one
// part: the printed and counted results must be those of checking every
// entry of the whole product, as a list would be checked.
TEST(ProductListing, ConditionsCheckedPartByPartAcceptWhatEveryEntryWould) {
    std::mt19937 rng(31);
    // Conditions over each variable of the queries, and one over two.
    const std::vector<std::pair<std::string, std::string>> over = {{"X", "&X match [A-C].*&"}, {"X", "&X match .*a.*&"},
                                                                   {"A", "&A > 30&"},          {"Y", "&Y match t.*&"},
                                                                   {"XY", "&X = Y&"},          {"A", "&A >= 0&"}};
    int split = 0;
    for (int round = 0; round < 300; ++round) {
        const std::string doc = randomDocument(rng);
        const std::string q = randomQuery(rng, 2);
        std::vector<std::string> usable;
        for (const auto& [names, c] : over) {
            bool bound = true;
            for (char v : names) bound = bound && q.find(std::string(1, v) + ")") != std::string::npos;
            if (bound) usable.push_back(c);
        }
        if (usable.empty()) continue;
        std::string cond = " where " + usable[rng() % usable.size()];
        if (rng() % 2) cond += ", " + usable[rng() % usable.size()];
        for (const char* statement : {"filterAllBest", "filterAllExact"}) {
            const std::string plain = std::string(statement) + " " + q + " in file 'doc.xml'";
            const std::string f = plain + cond;
            // Unknown variables end the run; the variables step tests that.
            ResultDocument checked;
            try {
                checked = resultOf(f, doc);
            } catch (const axf::Fatal&) {
                continue;
            }
            const ResultDocument unchecked = resultOf(plain, doc);
            if (!unchecked.product) continue;
            // Every entry of the whole product checked against every condition.
            auto everyEntry = std::make_shared<ProductListing>(*unchecked.product);
            auto parsed = axf::filter::parseFilter(f);
            everyEntry->conditions =
                axf::filter::readRule(withDocument(std::get<axf::filter::ParseOk>(parsed).tree, doc)).conditions;
            everyEntry->parts.reset();
            ResultDocument oracle;
            oracle.product = everyEntry;
            std::string want = showResultDocument(0, true, plainDocument(oracle));
            if (conditionsByLeaf(*everyEntry)) ++split;
            ASSERT_EQ(showResultDocument(0, true, checked), want) << f << "\n" << doc;
            const std::vector<int> listed = ranks(want);
            if (std::string(statement) != "filterAllBest") continue;
            for (std::optional<int> bound : {std::optional<int>(), std::optional<int>(1)}) {
                std::string counted = showResultDocument(
                    0, true, resultOf(!bound ? "count (" + f + ")" : "count " + std::to_string(*bound) + " (" + f + ")", doc));
                std::string n = std::to_string(
                    !bound ? listed.size() : std::count_if(listed.begin(), listed.end(), [&](int r) { return r <= *bound; }));
                EXPECT_EQ(counted, listed.empty() ? "<Empty Result/>\n" : "<Results Embedding Num=\"" + n + "\"/>\n") << f << "\n"
                                                                                                                      << doc;
            }
        }
    }
    // Many rounds split their conditions: the comparison is not vacuous.
    EXPECT_GT(split, 60) << split;
}

}  // namespace
