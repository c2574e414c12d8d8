// A regular expression parsed and searched. The first byte picks the search
// flags; the pattern runs to the first zero byte, the searched text follows
// it (a fixed text when there is no zero byte).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "regex/Regexp.h"
#include "regex/TextSyntaxParser.h"

using namespace axf;
using regex::MatcherFlag;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::vector<MatcherFlag> flags;
    const std::uint8_t pick = data[0];
    if (pick & 1) flags.push_back(MatcherFlag::Case_Insensitive);
    if (pick & 2) flags.push_back(MatcherFlag::Multi_Line);
    if (pick & 4) flags.push_back(MatcherFlag::Single_Line);
    if (pick & 8) flags.push_back(MatcherFlag::Global_Match);
    std::string_view rest = fuzz::asText(data + 1, size - 1);
    std::size_t cut = rest.find('\0');
    std::string_view pattern = rest.substr(0, cut);
    std::string_view input =
        cut == std::string_view::npos ? std::string_view("Anna, 34 Via Roma\nbruno 52 x_y@z.it") : rest.substr(cut + 1);
    fuzz::runInput([&] {
        (void)regex::parseTextPattern(pattern, {}, {}, flags);
        regex::RegexResult r = regex::searchS(pattern, flags, input);
        (void)regex::allSubexps(r);
        if (auto re = regex::Regex::compile(pattern, flags)) {
            // A second search through the compiled form must agree with the first.
            regex::RegexResult again = re->search(input);
            if (again.kind() != r.kind() || regex::wholeMatch(again) != regex::wholeMatch(r) ||
                regex::beforeMatch(again) != regex::beforeMatch(r))
                __builtin_trap();
            (void)re->find(input);
        }
    });
    return 0;
}
