// Trees written on one line for the tests of variables, conditions and
// removal: an element is its raw label with its children in parentheses
// ("site^1(person^2,'Ann^4')"), a text is its raw label in single quotes.
// showTree writes a tree back in the same form.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include "xml/XML.h"

namespace axf::testtree {

inline const xml::Tree* parseTreeAt(std::string_view s, std::size_t& i) {
    if (i < s.size() && s[i] == '\'') {
        std::size_t end = s.find('\'', i + 1);
        if (end == std::string_view::npos) throw std::invalid_argument("unclosed text");
        const xml::Tree* t = xml::text(std::string(s.substr(i + 1, end - i - 1)));
        i = end + 1;
        return t;
    }
    std::size_t start = i;
    while (i < s.size() && s[i] != '(' && s[i] != ')' && s[i] != ',') ++i;
    std::string name(s.substr(start, i - start));
    xml::TreeList kids;
    if (i < s.size() && s[i] == '(') {
        ++i;
        while (i < s.size() && s[i] != ')') {
            kids.push_back(parseTreeAt(s, i));
            if (i < s.size() && s[i] == ',') ++i;
        }
        if (i >= s.size()) throw std::invalid_argument("unclosed element");
        ++i;
    }
    return xml::makeTree(xml::ELNode{name, {}}, kids);
}

inline const xml::Tree* tree(std::string_view s) {
    std::size_t i = 0;
    const xml::Tree* t = parseTreeAt(s, i);
    if (i != s.size()) throw std::invalid_argument("trailing text in tree");
    return t;
}

inline void showTreeTo(const xml::Tree* t, std::string& out) {
    if (const auto* tx = std::get_if<xml::TXNode>(&t->value)) {
        out += '\'' + tx->text + '\'';
        return;
    }
    const auto& el = std::get<xml::ELNode>(t->value);
    out += el.name;
    if (t->isLeaf()) return;
    out += '(';
    bool first = true;
    for (const xml::Tree* c : t->children()) {
        if (!first) out += ',';
        first = false;
        showTreeTo(c, out);
    }
    out += ')';
}

inline std::string showTree(const xml::Tree* t) {
    std::string out;
    showTreeTo(t, out);
    return out;
}

inline std::string showTrees(const xml::TreeList& ts) {
    std::string out = "[";
    for (std::size_t i = 0; i < ts.size(); ++i) {
        if (i) out += ',';
        showTreeTo(ts[i], out);
    }
    return out + "]";
}

}  // namespace axf::testtree
