#include "xml/XMLEventShow.h"

#include <cstdint>
#include <optional>
#include <type_traits>

#include "common/ByteClass.h"
#include "xml/Show.h"
#include "xml/XMLScanner.h"

namespace axf::xml {

// ---- print form -------------------------------------------------------------------

namespace {

void showAttList(const LazyAttList& atts, std::string& out) {
    out += '[';
    bool first = true;
    for (const auto& [name, value] : atts) {
        if (!first) out += ',';
        first = false;
        out += '(';
        showString(name, out);
        out += ',';
        showString(value.get(), out);
        out += ')';
    }
    out += ']';
}

}  // namespace

void showsEventPrec(int prec, const XMLEvent& event, std::string& out) {
    struct V {
        std::string& out;
        void text(const std::string& s) const {
            out += ' ';
            showString(s, out);
        }
        void operator()(const StartEvent& e) const {
            out += "StartEvent";
            text(e.name);
            out += ' ';
            showAttList(e.attributes, out);
        }
        void operator()(const EmptyEvent& e) const {
            out += "EmptyEvent";
            text(e.name);
            out += ' ';
            showAttList(e.attributes, out);
        }
        void operator()(const EndEvent& e) const {
            out += "EndEvent";
            text(e.name);
        }
        void operator()(const TextEvent& e) const {
            out += "TextEvent";
            text(e.text);
        }
        void operator()(const PIEvent& e) const {
            out += "PIEvent";
            text(e.target);
            text(e.text);
        }
        void operator()(const GERefEvent& e) const {
            out += "GERefEvent";
            text(e.name);
        }
        void operator()(const CommentEvent& e) const {
            out += "CommentEvent";
            text(e.text);
        }
        void operator()(const ErrorEvent& e) const {
            out += "ErrorEvent";
            text(e.message);
        }
    };
    openParen(prec, out);
    std::visit(V{out}, event);
    closeParen(prec, out);
}

void showsEventList(const std::vector<XMLEvent>& events, std::string& out) {
    out += '[';
    for (std::size_t i = 0; i < events.size(); ++i) {
        if (i) out += ',';
        showsEventPrec(0, events[i], out);
    }
    out += ']';
}

void showsUnparsedPrec(int prec, const UNPARSED& value, std::string& out) {
    openParen(prec, out);
    out += "UNPARSED ";
    showString(value.text, out);
    closeParen(prec, out);
}

void showsUnparsedList(const std::vector<UNPARSED>& values, std::string& out) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) out += ',';
        showsUnparsedPrec(0, values[i], out);
    }
    out += ']';
}

// ---- reader -------------------------------------------------------------------------

namespace {

constexpr std::uint32_t kMaxCode = 1114111;

struct AsciiName {
    const char* name;
    std::uint32_t code;
};
// "SOH" stands before "SO" so that it is never read as "SO" and "H".
constexpr AsciiName kAsciiNames[] = {{"NUL", 0},  {"SOH", 1},  {"STX", 2},  {"ETX", 3},  {"EOT", 4},  {"ENQ", 5},  {"ACK", 6},
                                     {"BEL", 7},  {"BS", 8},   {"HT", 9},   {"LF", 10},  {"VT", 11},  {"FF", 12},  {"CR", 13},
                                     {"SO", 14},  {"SI", 15},  {"DLE", 16}, {"DC1", 17}, {"DC2", 18}, {"DC3", 19}, {"DC4", 20},
                                     {"NAK", 21}, {"SYN", 22}, {"ETB", 23}, {"CAN", 24}, {"EM", 25},  {"SUB", 26}, {"ESC", 27},
                                     {"FS", 28},  {"GS", 29},  {"RS", 30},  {"US", 31},  {"SP", 32},  {"DEL", 127}};

int digitValue(unsigned char c, int base) {
    int v;
    if (c >= '0' && c <= '9')
        v = c - '0';
    else if (c >= 'a' && c <= 'f')
        v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        v = c - 'A' + 10;
    else
        return -1;
    return v < base ? v : -1;
}

// Reads the notation from the front of a text. Every operation returns
// false when the text does not fit; the grammar has no alternatives that
// would need going back, so a text has at most one reading.
class Reader {
public:
    explicit Reader(std::string_view s) : s_(s) {}

    std::string_view rest() const { return s_.substr(pos_); }

    // One event: any number of parentheses around the bare form, at least
    // one when prec is 11 or more.
    bool event(int prec, XMLEvent& out) {
        const std::size_t k = opens();
        if (prec >= 11 && k == 0) return false;
        return bareEvent(out) && closes(k);
    }

    bool eventList(std::vector<XMLEvent>& out) {
        const std::size_t k = opens();
        if (!punc('[')) return false;
        if (!punc(']')) {
            for (;;) {
                XMLEvent e;
                if (!event(0, e)) return false;
                out.push_back(std::move(e));
                if (punc(',')) continue;
                if (!punc(']')) return false;
                break;
            }
        }
        return closes(k);
    }

private:
    void skipWS() {
        while (pos_ < s_.size() && axf::isSpaceByte(static_cast<unsigned char>(s_[pos_]))) ++pos_;
    }
    // The single-character token c, after white space.
    bool punc(char c) {
        const std::size_t save = pos_;
        skipWS();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        pos_ = save;
        return false;
    }
    std::size_t opens() {
        std::size_t k = 0;
        while (punc('(')) ++k;
        return k;
    }
    bool closes(std::size_t k) {
        for (std::size_t i = 0; i < k; ++i)
            if (!punc(')')) return false;
        return true;
    }
    bool peek(char c) {
        skipWS();
        return pos_ < s_.size() && s_[pos_] == c;
    }

    std::optional<std::string_view> name() {
        skipWS();
        if (pos_ >= s_.size()) return std::nullopt;
        const unsigned char c = static_cast<unsigned char>(s_[pos_]);
        if (!axf::isLetterByte(c) && c != '_') return std::nullopt;
        const std::size_t from = pos_++;
        while (pos_ < s_.size()) {
            const unsigned char d = static_cast<unsigned char>(s_[pos_]);
            if (!axf::isAlnumByte(d) && d != '_' && d != '\'') break;
            ++pos_;
        }
        return s_.substr(from, pos_ - from);
    }

    bool bareEvent(XMLEvent& out) {
        std::optional<std::string_view> word = name();
        if (!word) return false;
        std::string a, b;
        if (*word == "StartEvent" || *word == "EmptyEvent") {
            LazyAttList atts;
            if (!text(a) || !attList(atts)) return false;
            if (*word == "StartEvent")
                out = StartEvent{std::move(a), std::move(atts)};
            else
                out = EmptyEvent{std::move(a), std::move(atts)};
            return true;
        }
        if (*word == "PIEvent") {
            if (!text(a) || !text(b)) return false;
            out = PIEvent{std::move(a), std::move(b)};
            return true;
        }
        if (*word == "EndEvent")
            out = EndEvent{};
        else if (*word == "TextEvent")
            out = TextEvent{};
        else if (*word == "GERefEvent")
            out = GERefEvent{};
        else if (*word == "CommentEvent")
            out = CommentEvent{};
        else if (*word == "ErrorEvent")
            out = ErrorEvent{};
        else
            return false;
        if (!text(a)) return false;
        std::visit(
            [&a](auto& e) {
                using E = std::decay_t<decltype(e)>;
                if constexpr (std::is_same_v<E, EndEvent> || std::is_same_v<E, GERefEvent>)
                    e.name = std::move(a);
                else if constexpr (std::is_same_v<E, TextEvent> || std::is_same_v<E, CommentEvent>)
                    e.text = std::move(a);
                else if constexpr (std::is_same_v<E, ErrorEvent>)
                    e.message = std::move(a);
            },
            out);
        return true;
    }

    // A text field: parentheses around a string literal or a list of
    // character literals.
    bool text(std::string& out) {
        const std::size_t k = opens();
        return textCore(out) && closes(k);
    }
    bool textCore(std::string& out) {
        if (peek('"')) {
            ++pos_;
            return stringBody(out);
        }
        if (!punc('[')) return false;
        if (punc(']')) return true;
        for (;;) {
            const std::size_t k = opens();
            if (!charLiteral(out) || !closes(k)) return false;
            if (punc(',')) continue;
            return punc(']');
        }
    }

    bool attList(LazyAttList& out) {
        const std::size_t k = opens();
        if (!punc('[')) return false;
        if (!punc(']')) {
            for (;;) {
                std::string n, v;
                if (!pair(n, v)) return false;
                out.emplace_back(std::move(n), axf::Lazy<std::string>::ready(std::move(v)));
                if (punc(',')) continue;
                if (!punc(']')) return false;
                break;
            }
        }
        return closes(k);
    }

    // "(" text "," text ")", itself in any number of further parentheses.
    // The leading parentheses are shared between the pair and its first
    // text: those closed before the comma belong to the text.
    bool pair(std::string& first, std::string& second) {
        const std::size_t k = opens();
        if (k == 0 || !textCore(first)) return false;
        std::size_t j = 0;
        while (j + 1 < k && punc(')')) ++j;
        if (!punc(',')) return false;
        return text(second) && closes(k - j);
    }

    bool charLiteral(std::string& out) {
        if (!peek('\'')) return false;
        ++pos_;
        if (pos_ >= s_.size()) return false;
        const char c = s_[pos_++];
        if (c == '\\') {
            std::uint32_t code;
            if (!escape(code)) return false;
            appendCharCode(code, out);
        } else if (c == '\'') {
            return false;
        } else {
            out += c;
        }
        if (pos_ >= s_.size() || s_[pos_] != '\'') return false;
        ++pos_;
        return true;
    }

    // After the opening double quote, up to and including the closing one.
    bool stringBody(std::string& out) {
        for (;;) {
            if (pos_ >= s_.size()) return false;
            const char c = s_[pos_++];
            if (c == '"') return true;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= s_.size()) return false;
            const unsigned char d = static_cast<unsigned char>(s_[pos_]);
            if (d == '&') {
                ++pos_;
                continue;
            }
            if (axf::isSpaceByte(d)) {
                while (pos_ < s_.size() && axf::isSpaceByte(static_cast<unsigned char>(s_[pos_]))) ++pos_;
                if (pos_ >= s_.size() || s_[pos_] != '\\') return false;
                ++pos_;
                continue;
            }
            std::uint32_t code;
            if (!escape(code)) return false;
            appendCharCode(code, out);
        }
    }

    // After a backslash: the code of the escape.
    bool escape(std::uint32_t& code) {
        if (pos_ >= s_.size()) return false;
        const unsigned char c = static_cast<unsigned char>(s_[pos_]);
        switch (c) {
            case 'a':
                code = 7;
                ++pos_;
                return true;
            case 'b':
                code = 8;
                ++pos_;
                return true;
            case 'f':
                code = 12;
                ++pos_;
                return true;
            case 'n':
                code = 10;
                ++pos_;
                return true;
            case 'r':
                code = 13;
                ++pos_;
                return true;
            case 't':
                code = 9;
                ++pos_;
                return true;
            case 'v':
                code = 11;
                ++pos_;
                return true;
            case '\\':
            case '"':
            case '\'':
                code = c;
                ++pos_;
                return true;
            case 'o': ++pos_; return number(8, code);
            case 'x': ++pos_; return number(16, code);
            case '^': {
                if (pos_ + 1 >= s_.size()) return false;
                const unsigned char d = static_cast<unsigned char>(s_[pos_ + 1]);
                if (d < 64 || d > 95) return false;
                code = d - 64;
                pos_ += 2;
                return true;
            }
            default: break;
        }
        if (c >= '0' && c <= '9') return number(10, code);
        for (const AsciiName& a : kAsciiNames) {
            if (s_.substr(pos_).starts_with(a.name)) {
                pos_ += std::string_view(a.name).size();
                code = a.code;
                return true;
            }
        }
        return false;
    }

    // The longest run of digits of the base, at least one, up to kMaxCode.
    bool number(int base, std::uint32_t& code) {
        std::uint64_t v = 0;
        std::size_t n = 0;
        bool tooBig = false;
        while (pos_ < s_.size()) {
            const int d = digitValue(static_cast<unsigned char>(s_[pos_]), base);
            if (d < 0) break;
            if (!tooBig) {
                v = v * static_cast<unsigned>(base) + static_cast<unsigned>(d);
                if (v > kMaxCode) tooBig = true;
            }
            ++pos_;
            ++n;
        }
        if (n == 0 || tooBig) return false;
        code = static_cast<std::uint32_t>(v);
        return true;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

}  // namespace

std::vector<std::pair<XMLEvent, std::string_view>> readsEventPrec(int prec, std::string_view text) {
    Reader r(text);
    XMLEvent e;
    if (!r.event(prec, e)) return {};
    std::vector<std::pair<XMLEvent, std::string_view>> out;
    out.emplace_back(std::move(e), r.rest());
    return out;
}

std::vector<std::pair<std::vector<XMLEvent>, std::string_view>> readsEventList(std::string_view text) {
    Reader r(text);
    std::vector<XMLEvent> events;
    if (!r.eventList(events)) return {};
    std::vector<std::pair<std::vector<XMLEvent>, std::string_view>> out;
    out.emplace_back(std::move(events), r.rest());
    return out;
}

}  // namespace axf::xml
