// Filter text through the filter lexer and parser, and the reading of the
// parsed conditions (split into regular-expression and expression
// conditions, variables collected).
#include <cstddef>
#include <cstdint>
#include <variant>

#include "filter/ConditionReading.h"
#include "filter/FilterParser.h"
#include "fuzz/FuzzSupport.h"

using namespace axf;

namespace {

void conditionsOf(const xml::Tree* rule) {
    if (rule->kidCount != 6) return;
    (void)filter::readConditions(rule->children()[3]);
    // A nested rule as the source has conditions of its own.
    const xml::Tree* source = rule->children()[2];
    if (const auto* el = std::get_if<xml::ELNode>(&source->value); el && el->name == "rule") conditionsOf(source);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text = fuzz::asText(data, size);
    fuzz::runInput([&] {
        filter::ParseResult r = filter::parseFilter(text);
        if (const auto* ok = std::get_if<filter::ParseOk>(&r)) conditionsOf(ok->tree);
    });
    return 0;
}
