// The whole run of a fuzzed filter, the way main runs it. A scratch folder
// holds the only documents a filter may name, by their bare names; the run
// reads them there by their full path, so that the fuzzer's own working
// folder (and its relative corpus paths) stays as it was. A filter naming any
// other file (a path, a device) is skipped, so that the fuzzer never reads
// the machine's files. The scratch folder is removed when the process exits.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "app/FilterRun.h"
#include "app/FilterRunInternal.h"
#include "app/ResultPrinter.h"
#include "common/Output.h"
#include "filter/FilterParser.h"
#include "filter/RuleReading.h"
#include "fuzz/FuzzSupport.h"

using namespace axf;

namespace {

const char* const kShop =
    "<site>\n  <regions>\n    <europe>\n      <item id=\"i1\">\n        <name>Pen</name>\n"
    "        <location>Rome</location>\n        <description><text>black pen</text></description>\n"
    "      </item>\n      <articolo codice=\"i2\">\n        <nome>Penna</nome>\n"
    "        <locazione>Milano</locazione>\n      </articolo>\n    </europe>\n    <asia>\n"
    "      <item id=\"i3\">\n        <name>Tea</name>\n        <description><parlist><listitem><text>green "
    "tea</text></listitem></parlist></description>\n      </item>\n    </asia>\n  </regions>\n  <people>\n"
    "    <person id=\"p1\"><name>Anna</name><age>34</age></person>\n"
    "    <person id=\"p2\"><name>bruno</name><age>52</age></person>\n  </people>\n</site>\n";

const char* const kBad = "<site><people><person><nome>x</nome></person></people><unknowntag/></site>\n";

const char* const kScratchFiles[] = {"shop.xml", "bad.xml"};
std::string scratch;  // the scratch folder, with a trailing slash

bool allowedFile(const std::string& name) { return name == "shop.xml" || name == "bad.xml" || name == "missing.xml"; }

// The rule with every file source (nested rules included) named by its path
// in the scratch folder; null when a source names a file outside it.
const xml::Tree* inScratch(const xml::Tree* rule) {
    if (rule->kidCount != 6) return rule;
    const xml::Tree* source = rule->children()[2];
    const auto* el = std::get_if<xml::ELNode>(&source->value);
    if (!el) return rule;
    const xml::Tree* moved = source;
    if (el->name == "rule") {
        moved = inScratch(source);
        if (!moved) return nullptr;
    } else if (el->name == "file") {
        if (source->kidCount != 1) return rule;
        const auto* name = std::get_if<xml::TXNode>(&source->children()[0]->value);
        if (!name) return rule;
        if (!allowedFile(name->text)) return nullptr;
        moved = xml::makeTree(source->value, {xml::text(scratch + name->text)});
    }
    if (moved == source) return rule;
    std::vector<const xml::Tree*> kids(rule->children().begin(), rule->children().end());
    kids[2] = moved;
    return xml::makeTree(rule->value, kids);
}

void removeScratch() {
    for (const char* name : kScratchFiles) std::remove((scratch + name).c_str());
    rmdir(scratch.c_str());
}

void writeFile(const char* name, const char* text) {
    std::FILE* f = std::fopen((scratch + name).c_str(), "wb");
    if (!f) std::abort();
    std::fputs(text, f);
    std::fclose(f);
}

// What filterXML does, with the rule's files read in the scratch folder:
// parse, evaluate and print (a filter that does not parse prints its
// message). False for a filter naming a file outside the scratch folder,
// which is not run.
bool runFilter(std::string_view text) {
    filter::ParseResult parsed = filter::parseFilter(text);
    StringSink sink;
    if (const auto* fail = std::get_if<filter::ParseFail>(&parsed)) {
        sink.write("Attention ");
        sink.write(fail->message);
        return true;
    }
    const xml::Tree* rule = inScratch(std::get<filter::ParseOk>(parsed).tree);
    if (!rule) return false;
    app::ResultDocument result = app::evaluateRuleOnSource(filter::readRule(rule), true);
    app::writeResultDocument(0, true, result, sink);
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/axf-fuzz-XXXXXX";
    if (!mkdtemp(dir.data())) std::abort();
    scratch = dir + "/";
    std::atexit(removeScratch);
    writeFile("shop.xml", kShop);
    writeFile("bad.xml", kBad);
    for (const char* f : {"filterAllBest person(name(X)) in file 'shop.xml' where &X match [A-Z].*& (N)",
                          "filterAllBest item(name(X)) in file 'shop.xml' where &X = X&",
                          // A removal that takes the whole document makes the shared "empty text" leaf.
                          "filterAllBest person() in person(name('a')) (N)"})
        fuzz::warmUp([&] { (void)runFilter(f); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = fuzz::asText(data, size);
    bool allowed = true;
    fuzz::runInput([&] { allowed = runFilter(text); });
    return allowed ? 0 : -1;  // a filter naming other files is not added to the corpus
}
