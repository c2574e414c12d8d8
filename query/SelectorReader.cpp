#include "query/SelectorReader.h"

#include <limits>

#include "common/Fatal.h"
#include "common/MessageText.h"
#include "query/AsciiSpace.h"
#include "query/EmbeddingInternal.h"

namespace axf::query {

namespace {

[[noreturn]] void noParse() { throw Fatal("Prelude.read: no parse"); }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isAsciiSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isAsciiSpace(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

std::int64_t branchNumber(std::string_view selector) {
    if (selector.empty()) throw Fatal("Attention: inconsistent branch information found");
    if (selector == "last") return -1;
    // The integer reader: white space around, balanced parentheses, an
    // optional minus sign as a word of its own, decimal, 0x or 0o digits.
    std::string_view s = trim(selector);
    while (s.size() >= 2 && s.front() == '(' && s.back() == ')') s = trim(s.substr(1, s.size() - 2));
    bool negative = false;
    if (!s.empty() && s.front() == '-') {
        negative = true;
        s = trim(s.substr(1));
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    } else if (s.size() > 2 && s[0] == '0' && (s[1] == 'o' || s[1] == 'O')) {
        base = 8;
        s.remove_prefix(2);
    }
    if (s.empty()) noParse();
    std::uint64_t magnitude = 0;
    bool tooLarge = false;
    for (char c : s) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            noParse();
        if (digit >= base) noParse();
        if (magnitude > (std::numeric_limits<std::uint64_t>::max() - std::uint64_t(digit)) / std::uint64_t(base))
            tooLarge = true;
        else
            magnitude = magnitude * std::uint64_t(base) + std::uint64_t(digit);
    }
    const std::uint64_t limit = std::uint64_t(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    if (tooLarge || magnitude > limit)
        throw Fatal("Attention: the branch information " + cutForMessage(selector) + " is out of range");
    if (negative) return magnitude == limit ? std::numeric_limits<std::int64_t>::min() : -std::int64_t(magnitude);
    return std::int64_t(magnitude);
}

bool selectorCanFail(std::string_view label) {
    if (label.find('[') == std::string_view::npos) return false;
    try {
        return nameAndBranch(label).second >= 2;
    } catch (const Fatal&) {
        return true;
    }
}

LabelName getLabelName(std::string_view label) {
    std::size_t open = label.find('[');
    if (open == std::string_view::npos) return LabelName{std::string(label), false, {}, true};
    std::string_view after = label.substr(open + 1);
    bool closed = !after.empty() && after.back() == ']';
    if (closed) after.remove_suffix(1);
    return LabelName{std::string(label.substr(0, open)), true, std::string(after), closed};
}

std::pair<std::string, std::int64_t> nameAndBranch(std::string_view label) {
    LabelName l = getLabelName(label);
    if (!l.hasSelector) return {std::move(l.name), 0};
    if (!l.closed)
        throw Fatal("Attention: the branch information of the tag " + cutForMessage(l.name) + " is not closed in \"" +
                    cutForMessage(label) + "\"");
    std::int64_t k = branchNumber(l.selector);
    if (k == 0) throw Fatal("Attention: inconsistent branch information found");
    return {std::move(l.name), k};
}

}  // namespace axf::query
