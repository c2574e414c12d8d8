// The printed form: a text form of the library's values for inspecting data
// (constructor names with their fields, texts in double quotes with escapes,
// lists in brackets). It is not XML text.
//
// Every printable type offers showAt(precedence, value, out), which appends
// the value's form at that precedence to `out`. The precedence is 0 at top
// level, for list elements, pair components and record fields, and 11 for
// the fields of a constructor; a constructor with fields is parenthesised at
// 11 or more. showText(value) is the form at precedence 0, and
// showListText(list) the form of a list of values.
#pragma once

#include <concepts>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace axf::xml {

// A text: double quotes around the bytes, escaped by the fixed table
// (\" \\ \a..\r, \NUL..\US, \SO\&H, \DEL, decimal codes for 128..255 with
// \& before a following digit).
void showString(std::string_view s, std::string& out);

inline void showAt(int, const std::string& s, std::string& out) { showString(s, out); }
inline void showAt(int, std::string_view s, std::string& out) { showString(s, out); }
inline void showAt(int, bool b, std::string& out) { out += b ? "True" : "False"; }
// A number; a negative one is parenthesised at precedence 7 or more.
template <std::integral T>
requires(!std::same_as<T, bool> && !std::same_as<T, char>) void showAt(int prec, T v, std::string& out) {
    const bool paren = v < 0 && prec > 6;
    if (paren) out += '(';
    out += std::to_string(v);
    if (paren) out += ')';
}

// Opens and closes the parentheses of a constructor with fields.
inline void openParen(int prec, std::string& out) {
    if (prec >= 11) out += '(';
}
inline void closeParen(int prec, std::string& out) {
    if (prec >= 11) out += ')';
}

template <class A, class B>
void showAt(int prec, const std::pair<A, B>& p, std::string& out);
template <class T>
void showAt(int prec, const std::vector<T>& v, std::string& out);
template <class T>
void showAt(int prec, const std::optional<T>& v, std::string& out);

template <class A, class B>
void showAt(int, const std::pair<A, B>& p, std::string& out) {
    out += '(';
    showAt(0, p.first, out);
    out += ',';
    showAt(0, p.second, out);
    out += ')';
}

template <class T>
void showAt(int, const std::vector<T>& v, std::string& out) {
    out += '[';
    bool first = true;
    for (const T& e : v) {
        if (!first) out += ',';
        first = false;
        showAt(0, e, out);
    }
    out += ']';
}

template <class T>
void showAt(int prec, const std::optional<T>& v, std::string& out) {
    if (!v) {
        out += "Nothing";
        return;
    }
    openParen(prec, out);
    out += "Just ";
    showAt(11, *v, out);
    closeParen(prec, out);
}

template <class T>
std::string showText(const T& v) {
    std::string out;
    showAt(0, v, out);
    return out;
}

template <class T>
std::string showListText(const std::vector<T>& v) {
    std::string out;
    showAt(0, v, out);
    return out;
}

}  // namespace axf::xml
