// The indexer's direct walk over the text against the walk of the event
// parser's events: for every input both give the same tree, mapping, indexes
// and end, or fail with the same message. A difference aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "index/DocumentIndexer.h"
#include "xml/XMLParse.h"

using namespace axf;

namespace {

void describeIndex(const index::Index& idx, std::string& out) {
    for (const index::IndexEntry& e : idx.entries()) {
        out += '[';
        out += e.key;
        out += ']';
        for (const index::EmbeddingEntry& x : e.exact) {
            out += ' ' + std::to_string(x.position) + '/' + std::to_string(x.depth) + '/' + std::to_string(x.last) + ':';
            xml::showAt(0, x.tree, out);
        }
        out += '\n';
    }
}

std::string describe(const index::BuildResult& r) {
    std::string out = std::to_string(r.reachedEnd) + ' ' + std::to_string(r.lastPosition) + '\n';
    xml::showAt(0, r.tree.root(), out);
    for (std::string_view m : r.mapping) {
        out += '|';
        out += m;
    }
    out += '\n';
    describeIndex(r.elementIndex, out);
    describeIndex(r.textIndex, out);
    return out;
}

std::string byEvents(std::string_view text, const std::string& prepared) {
    try {
        xml::DocumentEvents events = xml::parseDocument(prepared);
        index::BuildResult r = index::buildIndexes([&events] { return events.next(); });
        if (r.reachedEnd && events.stop().early)
            throw Fatal("Attention: malformed document at byte " +
                        std::to_string(index::originalOffset(text, events.stop().offset)) + ": " + events.stop().token);
        return describe(r);
    } catch (const Fatal& f) {
        return f.what();
    }
}

std::string direct(std::string_view text, const std::string& prepared) {
    try {
        return describe(index::buildIndexesDirect(prepared, text));
    } catch (const Fatal& f) {
        return f.what();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = fuzz::asText(data, size);
    fuzz::runInput([&] {
        const std::string prepared = index::removeLineBreaksAndTabs(text);
        const std::string a = direct(text, prepared);
        const std::string b = byEvents(text, prepared);
        if (a != b) {
            std::fprintf(stderr, "direct walk differs from the event walk\n--- direct:\n%s\n--- events:\n%s\n", a.c_str(),
                         b.c_str());
            std::abort();
        }
    });
    return 0;
}
