// The whole run of a fuzzed filter, the way main runs it. The run works in a
// scratch folder that holds the only documents a filter may name: a filter
// naming any other file (a path, a device) is skipped, so that the fuzzer
// never reads the machine's files.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>

#include "app/Main.h"
#include "common/Output.h"
#include "filter/FilterParser.h"
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

bool allowedFile(const std::string& name) { return name == "shop.xml" || name == "bad.xml" || name == "missing.xml"; }

// Every file source of the rule (nested rules included) is one of the
// scratch folder's names.
bool filesAllowed(const xml::Tree* rule) {
    if (rule->nkids != 6) return true;
    const xml::Tree* source = rule->children()[2];
    const auto* el = std::get_if<xml::ELNode>(&source->value);
    if (!el) return true;
    if (el->name == "rule") return filesAllowed(source);
    if (el->name == "file") {
        if (source->nkids != 1) return true;
        const auto* name = std::get_if<xml::TXNode>(&source->children()[0]->value);
        return !name || allowedFile(name->text);
    }
    return true;
}

void writeFile(const char* name, const char* text) {
    std::FILE* f = std::fopen(name, "wb");
    if (!f) std::abort();
    std::fputs(text, f);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/axf-fuzz-XXXXXX";
    if (!mkdtemp(dir.data()) || chdir(dir.c_str()) != 0) std::abort();
    writeFile("shop.xml", kShop);
    writeFile("bad.xml", kBad);
    for (const char* f : {"filterAllBest person(name(X)) in file 'shop.xml' where &X match [A-Z].*& (N)",
                          "filterAllBest item(name(X)) in file 'shop.xml' where &X = X&",
                          // A removal that takes the whole document makes the shared "empty text" leaf.
                          "filterAllBest person() in person(name('a')) (N)"})
        fuzz::warmUp([&] {
            StringSink sink;
            app::filterXML(f, sink);
        });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = fuzz::asText(data, size);
    bool allowed = true;
    fuzz::runInput([&] {
        filter::ParseResult parsed = filter::filterParser(text);
        if (const auto* ok = std::get_if<filter::ParseOk>(&parsed)) allowed = filesAllowed(ok->tree);
    });
    if (!allowed) return -1;  // not added to the corpus
    fuzz::runInput([&] {
        StringSink sink;
        app::filterXML(text, sink);
    });
    return 0;
}
