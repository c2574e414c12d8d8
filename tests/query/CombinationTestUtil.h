// Helpers of the combination tests: entries built from a one-line tree shape
// ("a(b,'t',c(d))": elements by name, texts in quotes) and lists written back
// in the same shape, one "position:cost:tree" item per entry.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include "index/EmbeddingEntry.h"
#include "query/Combination.h"
#include "query/FailureTreeInternal.h"
#include "xml/XML.h"

namespace axf::query::testutil {

inline const xml::Tree* parseShape(std::string_view s, std::size_t& i) {
    if (i < s.size() && s[i] == '\'') {
        const std::size_t end = s.find('\'', i + 1);
        if (end == std::string_view::npos) throw std::invalid_argument("unclosed text in shape");
        const xml::Tree* t = xml::text(std::string(s.substr(i + 1, end - i - 1)));
        i = end + 1;
        return t;
    }
    const std::size_t start = i;
    while (i < s.size() && s[i] != '(' && s[i] != ')' && s[i] != ',') ++i;
    std::string name(s.substr(start, i - start));
    xml::TreeList kids;
    if (i < s.size() && s[i] == '(') {
        ++i;
        while (true) {
            kids.push_back(parseShape(s, i));
            if (i < s.size() && s[i] == ',') {
                ++i;
                continue;
            }
            if (i < s.size() && s[i] == ')') {
                ++i;
                break;
            }
            throw std::invalid_argument("bad shape");
        }
    }
    return xml::makeTree(xml::ELNode{std::move(name), {}}, kids);
}

inline const xml::Tree* tree(std::string_view s) {
    std::size_t i = 0;
    return parseShape(s, i);
}

inline std::string shape(const xml::Tree* t) {
    if (!t) return "null";
    if (isDeferredFailure(t)) return "!" + deferredFailureText(t);
    std::string r;
    if (const auto* e = std::get_if<xml::ELNode>(&t->value))
        r = e->name;
    else if (const auto* x = std::get_if<xml::TXNode>(&t->value))
        r = "'" + x->text + "'";
    else
        r = "?";
    if (t->kidCount) {
        r += '(';
        for (std::size_t k = 0; k < t->kidCount; ++k) {
            if (k) r += ',';
            r += shape(t->kids[k]);
        }
        r += ')';
    }
    return r;
}

inline index::EmbeddingEntry Ef(std::int64_t pos, std::int64_t depth, std::int64_t last, std::int64_t ren, std::int64_t cost,
                                const xml::Tree* t) {
    return index::EmbeddingEntry{pos, depth, last, ren, cost, t};
}
inline index::EmbeddingEntry Ef(std::int64_t pos, std::int64_t depth, std::int64_t last, std::int64_t ren, std::int64_t cost,
                                std::string_view s) {
    return Ef(pos, depth, last, ren, cost, tree(s));
}
// An entry of the given position and cost; depth, last and renaming cost 0.
inline index::EmbeddingEntry E(std::int64_t pos, std::int64_t cost, std::string_view s) {
    return Ef(pos, 0, 0, 0, cost, tree(s));
}

inline index::EmbeddingEntry withCostForTest(index::EmbeddingEntry e, std::int64_t n) {
    e.cost += n;
    return e;
}

inline std::string item(const index::EmbeddingEntry& e) {
    return std::to_string(e.position) + ":" + std::to_string(e.cost) + ":" + shape(e.tree);
}
inline std::string full(const index::EmbeddingEntry& e) {
    return std::to_string(e.position) + "/" + std::to_string(e.depth) + "/" + std::to_string(e.last) + "/" +
           std::to_string(e.renamingCost) + "/" + std::to_string(e.cost) + ":" + shape(e.tree);
}

template <class List>
std::string show(const List& l) {
    std::string r;
    for (const auto& e : l) {
        if (!r.empty()) r += ' ';
        r += item(e);
    }
    return r;
}
template <class List>
std::string showFull(const List& l) {
    std::string r;
    for (const auto& e : l) {
        if (!r.empty()) r += ' ';
        r += full(e);
    }
    return r;
}

}  // namespace axf::query::testutil
