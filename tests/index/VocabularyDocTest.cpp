// The tag vocabulary as the user's guide lists it (docs/vocabulary.md) is
// the program's table: every name, its class and its translation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "index/SynonymClasses.h"
#include "index/TranslationTable.h"

namespace {

using namespace axf::index;

struct DocRow {
    std::string classText;
    std::string translation;
};

std::filesystem::path repositoryRoot() {
    // AXF_TEST_DATA is <root>/tests/index/data.
    return std::filesystem::path(AXF_TEST_DATA).parent_path().parent_path().parent_path();
}

std::string trimCell(std::string cell) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!cell.empty() && blank(cell.front())) cell.erase(cell.begin());
    while (!cell.empty() && blank(cell.back())) cell.pop_back();
    if (cell.size() >= 2 && cell.front() == '`' && cell.back() == '`') cell = cell.substr(1, cell.size() - 2);
    return cell;
}

// The table rows "| `name` | `translation` | class |" of the document, by
// name; a name listed twice is reported.
std::map<std::string, DocRow> readDocTable(const std::filesystem::path& file) {
    std::ifstream in(file);
    EXPECT_TRUE(in) << "cannot read " << file;
    std::map<std::string, DocRow> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("| `", 0) != 0) continue;
        std::vector<std::string> cells;
        std::stringstream split(line.substr(1));
        std::string cell;
        while (std::getline(split, cell, '|')) cells.push_back(trimCell(cell));
        EXPECT_EQ(cells.size(), 3u) << "row: " << line;
        if (cells.size() != 3) continue;
        bool fresh = rows.emplace(cells[0], DocRow{cells[2], cells[1]}).second;
        EXPECT_TRUE(fresh) << "listed twice: " << cells[0];
    }
    return rows;
}

TEST(VocabularyDoc, ListsExactlyTheProgramsNamesClassesAndTranslations) {
    const auto rows = readDocTable(repositoryRoot() / "docs" / "vocabulary.md");
    EXPECT_EQ(rows.size(), 114u);

    // Every name of the program's classes is listed with its class and translation.
    std::size_t programNames = 0;
    for (const SynonymClass& c : synonymClasses()) {
        for (auto [name, other] : {std::pair{c.first, c.second}, std::pair{c.second, c.first}}) {
            if (name.empty()) continue;
            ++programNames;
            auto it = rows.find(std::string(name));
            if (it == rows.end()) {
                ADD_FAILURE() << "not listed: " << name;
                continue;
            }
            EXPECT_EQ(it->second.classText, std::to_string(c.number)) << name;
            EXPECT_EQ(it->second.translation, other) << name;
        }
    }
    EXPECT_EQ(programNames, rows.size());

    // Every listed name is one the program knows, and its renaming list is
    // the name at weight 0, then the listed translation at weight 2.
    for (const auto& [name, row] : rows) {
        SCOPED_TRACE(name);
        auto entry = lookupVocabulary(name);
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(entry->classText, row.classText);
        EXPECT_EQ(entry->translation, row.translation);
        RenamingList expected{{name, 0}};
        if (!row.translation.empty()) expected.emplace_back(row.translation, 2);
        RenamingList got = classOfSyn(name);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].first, expected[i].first);
            EXPECT_EQ(got[i].second, expected[i].second);
        }
    }
}

}  // namespace
