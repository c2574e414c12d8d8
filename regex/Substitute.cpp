#include "regex/Substitute.h"

#include "regex/SubstituteInternal.h"

namespace axf::regex {

namespace {

// The fixed patterns that read templates.

// One placeholder, read from the text after a '$'.
constexpr std::string_view placeholderPattern = R"(^\{( bef@(m_before_)| aft@(m_after_)| whole@(m)| sub@(\w+))\})";
// The next escape or '$' of a text template.
constexpr std::string_view textTemplatePattern = R"(\\ el@(.)|\$)";
// The next element or '$' of an element-list template.
constexpr std::string_view elementTemplatePattern = R"(\< elem@(([^\\>]|\.)+)\>|\$)";

const Regex& fixedRegex(std::string_view pattern, const std::optional<Regex>& compiled) {
    if (!compiled) throw InternalError("fixedRegex: fixed pattern does not parse: " + std::string(pattern));
    return *compiled;
}

const Regex& placeholderRegex() {
    static const std::optional<Regex> r = Regex::compile(placeholderPattern);
    return fixedRegex(placeholderPattern, r);
}
const Regex& textTemplateRegex() {
    static const std::optional<Regex> r = Regex::compile(textTemplatePattern);
    return fixedRegex(textTemplatePattern, r);
}
const Regex& elementTemplateRegex() {
    static const std::optional<Regex> r = Regex::compile(elementTemplatePattern);
    return fixedRegex(elementTemplatePattern, r);
}

using detail::captured;

// Reads a placeholder at the start of s: the piece and the length of its text,
// or nothing.
std::optional<std::pair<TemplatePiece, std::size_t>> readPlaceholder(std::string_view s) {
    std::optional<MatchSpans> p = placeholderRegex().find(s);
    if (!p) return std::nullopt;
    using K = TemplatePiece::Kind;
    TemplatePiece piece{K::Sub, {}};
    if (captured(*p, "whole")) {
        piece.kind = K::Whole;
    } else if (captured(*p, "bef")) {
        piece.kind = K::Before;
    } else if (captured(*p, "aft")) {
        piece.kind = K::After;
    } else if (auto name = captured(*p, "sub")) {
        piece.text = std::string(s.substr(name->first, name->second - name->first));
    }
    return std::make_pair(std::move(piece), p->end);
}

// Cuts a template at its escapes or elements and its placeholders, left to
// right. With `elementForm` the text between them is dropped and an escape
// is not looked for (the element pattern finds elements instead).
std::vector<TemplatePiece> readTemplate(std::string_view tmpl, bool elementForm) {
    using K = TemplatePiece::Kind;
    const Regex& cut = elementForm ? elementTemplateRegex() : textTemplateRegex();
    const std::string_view inner = elementForm ? "elem" : "el";
    std::vector<TemplatePiece> pieces;
    auto text = [&](std::string_view t) {
        if (elementForm || t.empty()) return;
        if (!pieces.empty() && pieces.back().kind == K::Text)
            pieces.back().text.append(t);
        else
            pieces.push_back(TemplatePiece{K::Text, std::string(t)});
    };
    std::size_t pos = 0;
    while (pos < tmpl.size()) {
        std::string_view rest = tmpl.substr(pos);
        std::optional<MatchSpans> e = cut.find(rest);
        if (!e) {
            text(rest);
            break;
        }
        text(rest.substr(0, e->start));
        if (auto range = captured(*e, inner)) {
            std::string_view t = rest.substr(range->first, range->second - range->first);
            if (elementForm)
                pieces.push_back(TemplatePiece{K::Element, std::string(t)});
            else
                text(t);
            pos += e->end;
            continue;
        }
        // A '$': a placeholder, or the '$' is dropped.
        pos += e->end;
        if (auto ph = readPlaceholder(tmpl.substr(pos))) {
            pieces.push_back(std::move(ph->first));
            pos += ph->second;
        }
    }
    return pieces;
}

}  // namespace

std::vector<TemplatePiece> readTextTemplate(std::string_view tmpl) { return readTemplate(tmpl, false); }

std::vector<TemplatePiece> readElementTemplate(std::string_view tmpl) { return readTemplate(tmpl, true); }

std::string substExtS(std::string_view pattern, std::string_view tmpl, const std::vector<MatcherFlag>& flags,
                      const std::vector<UserMatcher<char>>& fns, const std::vector<Assertion<char>>& asserts,
                      std::string_view input) {
    std::optional<Regex> re = Regex::compile(pattern, flags, fns, asserts);
    if (!re) return std::string(input);
    // The template is read at the first match.
    std::optional<std::vector<TemplatePiece>> pieces;
    const std::vector<char> noElements;
    auto expand = [&](std::span<const char> rest, const MatchSpans& m, std::string& out) {
        if (!pieces) pieces = readTextTemplate(tmpl);
        detail::expandPieces(*pieces, noElements, rest, m, out);
    };
    return detail::substitute<std::string>(re->program(), charSpan(input), detail::hasGlobalMatch(flags), expand);
}

std::string substS(std::string_view pattern, std::string_view tmpl, const std::vector<MatcherFlag>& flags,
                   std::string_view input) {
    return substExtS(pattern, tmpl, flags, {}, {}, input);
}

}  // namespace axf::regex
