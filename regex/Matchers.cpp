#include "regex/Matchers.h"

#include <array>

#include "common/ByteClass.h"
#include "regex/MatchersInternal.h"

namespace axf::regex {

namespace {

constexpr std::array<std::string_view, 6> kFlagNames = {"Global_Match", "Case_Insensitive", "Case_Sensitive",
                                                        "Single_Line",  "Multi_Line",       "Default_Line"};

// A small reader over a text for the flag forms.
struct FlagReader {
    std::string_view s;
    std::size_t i = 0;

    void skipSpace() {
        while (i < s.size() && isSpaceByte(static_cast<unsigned char>(s[i]))) ++i;
    }
    bool eat(char c) {
        skipSpace();
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    // One flag name as a whole identifier, inside any number of parentheses.
    std::optional<MatcherFlag> flag() {
        std::size_t save = i;
        std::size_t opens = 0;
        while (eat('(')) ++opens;
        skipSpace();
        std::size_t start = i;
        while (i < s.size() && isWordChar(s[i])) ++i;
        std::string_view word = s.substr(start, i - start);
        std::optional<MatcherFlag> result;
        for (std::size_t k = 0; k < kFlagNames.size(); ++k)
            if (word == kFlagNames[k]) result = static_cast<MatcherFlag>(k);
        for (std::size_t k = 0; result && k < opens; ++k)
            if (!eat(')')) result.reset();
        if (!result) i = save;
        return result;
    }
    // A bracketed list, inside any number of parentheses.
    std::optional<std::vector<MatcherFlag>> list() {
        std::size_t save = i;
        std::size_t opens = 0;
        while (eat('(')) ++opens;
        std::optional<std::vector<MatcherFlag>> result;
        if (eat('[')) {
            std::vector<MatcherFlag> fs;
            bool ok = true;
            if (!eat(']')) {
                for (;;) {
                    std::optional<MatcherFlag> f = flag();
                    if (!f) {
                        ok = false;
                        break;
                    }
                    fs.push_back(*f);
                    if (eat(',')) continue;
                    ok = eat(']');
                    break;
                }
            }
            if (ok) result = std::move(fs);
        }
        for (std::size_t k = 0; result && k < opens; ++k)
            if (!eat(')')) result.reset();
        if (!result) i = save;
        return result;
    }
    bool atEnd() {
        skipSpace();
        return i == s.size();
    }
};

}  // namespace

std::string showMatcherFlag(MatcherFlag f) { return std::string(kFlagNames[static_cast<std::size_t>(f)]); }

std::string showMatcherFlags(const std::vector<MatcherFlag>& fs) {
    std::string out = "[";
    for (std::size_t k = 0; k < fs.size(); ++k) {
        if (k) out += ',';
        out += showMatcherFlag(fs[k]);
    }
    out += ']';
    return out;
}

std::optional<MatcherFlag> readMatcherFlag(std::string_view text) {
    FlagReader r{text};
    std::optional<MatcherFlag> f = r.flag();
    if (!f || !r.atEnd()) return std::nullopt;
    return f;
}

std::optional<std::vector<MatcherFlag>> readMatcherFlags(std::string_view text) {
    FlagReader r{text};
    auto fs = r.list();
    if (!fs || !r.atEnd()) return std::nullopt;
    return fs;
}

std::vector<std::pair<std::string, MatcherFlag>> initFlags(const std::vector<MatcherFlag>& flags) {
    auto has = [&flags](MatcherFlag f) {
        for (MatcherFlag g : flags)
            if (g == f) return true;
        return false;
    };
    MatcherFlag caseFlag = has(MatcherFlag::Case_Insensitive) ? MatcherFlag::Case_Insensitive : MatcherFlag::Case_Sensitive;
    MatcherFlag lineFlag = has(MatcherFlag::Multi_Line)    ? MatcherFlag::Multi_Line
                           : has(MatcherFlag::Single_Line) ? MatcherFlag::Single_Line
                                                           : MatcherFlag::Default_Line;
    return {{"case", caseFlag}, {"line", lineFlag}};
}

Matcher<char> matchAnyBut() {
    return OneElementMatcher<char>{false, [](const char& c) { return c != '\n'; }};
}

BackrefBuilder<char> matchBackrefIgnoringCase() {
    return matchBackref<char>([](const char& x, const char& y) {
        return toUpperByte(static_cast<unsigned char>(x)) == toUpperByte(static_cast<unsigned char>(y));
    });
}

bool isWordChar(char c) { return isAlnumByte(static_cast<unsigned char>(c)) || c == '_' || c == '\''; }

}  // namespace axf::regex
