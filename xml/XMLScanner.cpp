#include "xml/XMLScanner.h"

#include <array>
#include <cstring>

#include "common/ByteClass.h"
#include "common/Fatal.h"
#include "common/MessageText.h"

namespace axf::xml {

namespace {

// Byte classes of the scanner, derived once from the shared tables.
using namespace scanclass;

struct Classes {
    std::array<std::uint8_t, 256> c{};
    Classes() {
        for (int b = 0; b < 256; ++b) {
            const auto u = static_cast<unsigned char>(b);
            if (axf::isSpaceByte(u)) c[b] |= kSep;
            if (axf::isAlnumByte(u)) c[b] |= kNmChar | kNmStart;
        }
        for (unsigned char b : {'.', '-', '_', ':'}) c[b] |= kNmChar;
        for (unsigned char b : {'_', ':'}) c[b] |= kNmStart;
        for (unsigned char b : {'<', '&'}) c[b] |= kContentStop;
        for (unsigned char b : {'-', '\n'}) c[b] |= kCommentStop;
        for (unsigned char b : {'<', ']', '\n'}) c[b] |= kSectionStop;
    }
};

const Classes& classes() {
    static const Classes k;
    return k;
}

// The first position from `p` on whose byte has none of `mask`'s classes.
inline std::size_t skipWhile(const std::uint8_t* cls, std::string_view s, std::size_t p, std::uint8_t mask) {
    const std::size_t n = s.size();
    const auto* d = reinterpret_cast<const unsigned char*>(s.data());
    while (p < n && (cls[d[p]] & mask)) ++p;
    return p;
}

// The first position from `p` on whose byte has one of `mask`'s classes.
inline std::size_t skipUntil(const std::uint8_t* cls, std::string_view s, std::size_t p, std::uint8_t mask) {
    const std::size_t n = s.size();
    const auto* d = reinterpret_cast<const unsigned char*>(s.data());
    while (p + 4 <= n) {
        if (cls[d[p]] & mask) return p;
        if (cls[d[p + 1]] & mask) return p + 1;
        if (cls[d[p + 2]] & mask) return p + 2;
        if (cls[d[p + 3]] & mask) return p + 3;
        p += 4;
    }
    while (p < n && !(cls[d[p]] & mask)) ++p;
    return p;
}

// The position of byte c from p on, or the end of s.
inline std::size_t findByte(std::string_view s, std::size_t p, char c) {
    if (p >= s.size()) return s.size();
    const void* hit = std::memchr(s.data() + p, c, s.size() - p);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - s.data()) : s.size();
}

inline bool startsWithAt(std::string_view s, std::size_t p, std::string_view w) {
    return s.size() - p >= w.size() && s.compare(p, w.size(), w) == 0;
}

const char* const kKindNames[] = {
    "WS",    "CDATA",  "GEREF", "STAGO", "ETAGO", "MDO", "MDOCOM", "MDODSO", "PIO", "PIC", "LEXERR", "REST",
    "NAME",  "RNINAME", "PEREF", "LITERAL", "TAGC", "VI", "EETAGC", "MDC",   "DSO", "DSC", "MSC",    "COM",
    "GRPO",  "GRPC",   "AND",   "OR",    "SEQ",   "OPT", "REP",    "PLUS",   "MINUS", "PERO"};

// The reference as written, for messages; a very long one is cut short.
std::string quotedReference(std::string_view body, bool closed) {
    constexpr std::size_t kShown = 40;
    std::string r = "\"&#";
    if (body.size() > kShown) {
        r.append(body.substr(0, kShown));
        r += "...";
    } else {
        r.append(body);
        if (closed) r += ';';
    }
    r += '"';
    return r;
}

inline Delimiter tok(DelimKind k) { return Delimiter::make(k); }

}  // namespace

// ---------------------------------------------------------------------------
// Tokens

const char* delimKindName(DelimKind k) { return kKindNames[static_cast<int>(k)]; }

bool kindHasText(DelimKind k) {
    switch (k) {
        case DelimKind::WS:
        case DelimKind::CDATA:
        case DelimKind::GEREF:
        case DelimKind::LEXERR:
        case DelimKind::REST:
        case DelimKind::NAME:
        case DelimKind::RNINAME:
        case DelimKind::PEREF:
        case DelimKind::LITERAL:
            return true;
        default:
            return false;
    }
}

Delimiter Delimiter::make(DelimKind k, std::string text) {
    Delimiter d;
    d.kind_ = k;
    d.src_ = Src::Own;
    d.text_ = std::move(text);
    d.ready_ = true;
    return d;
}

Delimiter Delimiter::fromView(DelimKind k, std::string_view text) {
    Delimiter d;
    d.kind_ = k;
    d.src_ = Src::View;
    d.view_ = text;
    d.ready_ = false;
    return d;
}

Delimiter Delimiter::charRef(std::string_view body, bool closed) {
    Delimiter d;
    d.kind_ = DelimKind::CDATA;
    d.src_ = Src::CharRef;
    d.view_ = body;
    d.closed_ = closed;
    d.ready_ = false;
    return d;
}

const std::string& Delimiter::text() const {
    if (!ready_) {
        if (src_ == Src::CharRef) {
            std::string s;
            appendCharCode(charRefValue(view_, closed_), s);
            text_ = std::move(s);
        } else {
            text_.assign(view_);
        }
        ready_ = true;
    }
    return text_;
}

std::string_view Delimiter::view() const {
    if (src_ == Src::View) return view_;
    return text();
}

bool operator==(const Delimiter& a, const Delimiter& b) {
    if (a.kind() != b.kind()) return false;
    return !a.hasText() || a.view() == b.view();
}

void showAt(int prec, const Delimiter& d, std::string& out) {
    if (!d.hasText()) {
        out += delimKindName(d.kind());
        return;
    }
    openParen(prec, out);
    out += delimKindName(d.kind());
    out += ' ';
    showString(d.view(), out);
    closeParen(prec, out);
}

// ---------------------------------------------------------------------------
// Character classes

const std::uint8_t* byteClasses() { return classes().c.data(); }

bool isSEPCHAR(unsigned char c) { return classes().c[c] & kSep; }
bool isNMCHAR(unsigned char c) { return classes().c[c] & kNmChar; }
bool isNMSTART(unsigned char c) { return classes().c[c] & kNmStart; }

// ---------------------------------------------------------------------------
// References

std::uint32_t charRefValue(std::string_view body, bool closed) {
    std::string_view digits = body;
    std::uint32_t base = 10;
    if (!digits.empty() && (digits[0] == 'x' || digits[0] == 'X')) {
        base = 16;
        digits.remove_prefix(1);
    }
    auto fail = [&](const std::string& why) -> void {
        throw axf::Fatal("Bad character reference " + quotedReference(body, closed) + ": " + why);
    };
    if (digits.empty()) fail("no digits");
    std::uint32_t value = 0;
    for (char ch : digits) {
        const auto c = static_cast<unsigned char>(ch);
        std::uint32_t d = 0;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else {
            std::string shown(1, ch);
            fail("'" + shown + "' is not a " + (base == 16 ? "hexadecimal" : "decimal") + " digit");
        }
        value = value * base + d;
        if (value > 1114111) fail("code above 1114111");
    }
    return value;
}

void appendCharCode(std::uint32_t code, std::string& out) {
    if (code <= 0xFF) {
        out += static_cast<char>(code);
    } else if (code <= 0x7FF) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code <= 0xFFFF) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        throw axf::InternalError("appendCharCode: code above 1114111");
    }
}

std::string expandReferences(const EntityTable& table, std::string_view text) {
    std::string out;
    std::size_t p = 0;
    const std::size_t n = text.size();
    out.reserve(n);
    std::string name;
    while (p < n) {
        const std::size_t amp = findByte(text, p, '&');
        out.append(text.substr(p, amp - p));
        if (amp == n) break;
        const std::size_t start = amp + 1;
        if (start < n && text[start] == '#') {
            const std::size_t semi = findByte(text, start + 1, ';');
            const std::string_view body = text.substr(start + 1, semi - (start + 1));
            std::uint32_t code;
            try {
                code = charRefValue(body, semi < n);
            } catch (const axf::Fatal& e) {
                throw ReferenceError(e.what(), amp);
            }
            appendCharCode(code, out);
            p = semi < n ? semi + 1 : n;
        } else {
            const std::size_t semi = findByte(text, start, ';');
            name.assign(text.substr(start, semi - start));
            const std::string* rep = findInternalEntity(table, name);
            if (!rep) throw ReferenceError("entity " + axf::cutForMessage(name) + " not defined", amp);
            out += *rep;
            p = semi < n ? semi + 1 : n;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// The scanner

XMLScanner::XMLScanner(std::string_view document, ScanMode start)
    : text_(document), state_(start == ScanMode::Markup ? State::Markup : State::Content) {}

XMLScanner pcdataMode(std::string_view text) { return XMLScanner(text, ScanMode::Content); }
XMLScanner markupMode(std::string_view text) { return XMLScanner(text, ScanMode::Markup); }

std::vector<Delimiter> scanAll(std::string_view text, ScanMode start) {
    std::vector<Delimiter> out;
    XMLScanner sc(text, start);
    while (auto t = sc.next()) out.push_back(std::move(*t));
    return out;
}

std::optional<Delimiter> XMLScanner::next() {
    const std::uint8_t* cls = classes().c.data();
    const std::string_view s = text_;
    const std::size_t n = s.size();
    using K = DelimKind;
    // Each pass of the loop either returns one token or moves on without
    // one (skipped white space, a skipped declaration comment, the opener or
    // closer of a CDATA section, a hand-over to content mode).
    for (;;) {
        std::size_t p = pos_;
        if (p >= n) {
            last_ = n;
            return std::nullopt;
        }
        last_ = p;
        const char c = s[p];
        switch (state_) {
            case State::Content: {
                if (c == '<') {
                    if (p + 1 == n) {
                        pos_ = n;
                        state_ = State::Tag;
                        return tok(K::STAGO);
                    }
                    const char d = s[p + 1];
                    if (d == '/') {
                        pos_ = p + 2;
                        state_ = State::Tag;
                        return tok(K::ETAGO);
                    }
                    if (d == '?') {
                        pos_ = p + 2;
                        state_ = State::PI;
                        ret_ = State::Content;
                        return tok(K::PIO);
                    }
                    if (d == '!') {
                        const std::size_t q = p + 2;
                        if (q + 1 < n && s[q] == '-' && s[q + 1] == '-') {
                            pos_ = q + 2;
                            state_ = State::Comment;
                            ret_ = State::Content;
                            return tok(K::MDOCOM);
                        }
                        if (q < n && s[q] == '[') {
                            if (startsWithAt(s, q + 1, "CDATA[")) {
                                pos_ = q + 7;
                                state_ = State::CData;
                                continue;
                            }
                            const std::size_t open = findByte(s, q + 1, '[');
                            pos_ = open < n ? open + 1 : n;
                            std::string msg = "Illegal marked section [";
                            msg.append(s.substr(q + 1, open - (q + 1)));
                            return Delimiter::make(K::LEXERR, std::move(msg));
                        }
                        pos_ = q;
                        state_ = State::Markup;
                        return tok(K::MDO);
                    }
                    if (d == ']' && p + 3 < n && s[p + 2] == ']' && s[p + 3] == '>') {
                        pos_ = p + 4;
                        return tok(K::MSC);
                    }
                    pos_ = p + 1;
                    state_ = State::Tag;
                    return tok(K::STAGO);
                }
                if (c == '&') {
                    const std::size_t start = p + 1;
                    if (start < n && s[start] == '#') {
                        const std::size_t semi = findByte(s, start + 1, ';');
                        pos_ = semi < n ? semi + 1 : n;
                        return Delimiter::charRef(s.substr(start + 1, semi - (start + 1)), semi < n);
                    }
                    const std::size_t end = skipWhile(cls, s, start, kNmChar);
                    const std::string_view name = s.substr(start, end - start);
                    if (end < n && s[end] == ';') {
                        pos_ = end + 1;
                        return Delimiter::fromView(K::GEREF, name);
                    }
                    pos_ = end;
                    std::string msg = "Bad entity reference ";
                    msg.append(name);
                    return Delimiter::make(K::LEXERR, std::move(msg));
                }
                if (cls[static_cast<unsigned char>(c)] & kSep) {
                    const std::size_t end = skipWhile(cls, s, p + 1, kSep);
                    pos_ = end;
                    return Delimiter::fromView(K::WS, s.substr(p, end - p));
                }
                // Character data, '>' included: it runs to the next '<' or '&'.
                const std::size_t end = skipUntil(cls, s, p + 1, kContentStop);
                pos_ = end;
                return Delimiter::fromView(K::CDATA, s.substr(p, end - p));
            }

            case State::Tag: {
                const auto uc = static_cast<unsigned char>(c);
                if (cls[uc] & kSep) {
                    pos_ = skipWhile(cls, s, p + 1, kSep);
                    continue;
                }
                switch (c) {
                    case '>':
                        pos_ = p + 1;
                        state_ = State::Content;
                        return tok(K::TAGC);
                    case '=':
                        pos_ = p + 1;
                        return tok(K::VI);
                    case '<':
                        if (p + 1 < n && s[p + 1] == '/') {
                            pos_ = p + 2;
                            return tok(K::ETAGO);
                        }
                        pos_ = p + 1;
                        return tok(K::STAGO);
                    case '"':
                    case '\'': {
                        const std::size_t close = findByte(s, p + 1, c);
                        pos_ = close < n ? close + 1 : n;
                        return Delimiter::fromView(K::LITERAL, s.substr(p + 1, close - (p + 1)));
                    }
                    case '/':
                        if (p + 1 < n && s[p + 1] == '>') {
                            pos_ = p + 2;
                            state_ = State::Content;
                            return tok(K::EETAGC);
                        }
                        break;
                    default:
                        break;
                }
                if (cls[uc] & kNmStart) {
                    const std::size_t end = skipWhile(cls, s, p + 1, kNmChar);
                    pos_ = end;
                    return Delimiter::fromView(K::NAME, s.substr(p, end - p));
                }
                pos_ = p + 1;
                return Delimiter::fromView(K::LEXERR, s.substr(p, 1));
            }

            case State::Comment: {
                if (c == '-' && p + 1 < n && s[p + 1] == '-') {
                    pos_ = p + 2;
                    state_ = State::AfterComment;
                    return tok(K::COM);
                }
                const std::size_t end = skipUntil(cls, s, p + 1, kCommentStop);
                pos_ = end;
                return Delimiter::fromView(K::CDATA, s.substr(p, end - p));
            }

            case State::AfterComment: {
                if (c == '>') {
                    pos_ = p + 1;
                    state_ = ret_;
                    return tok(K::MDC);
                }
                if (c == '-' && p + 1 < n && s[p + 1] == '-') {
                    pos_ = p + 2;
                    state_ = State::Comment;
                    return tok(K::COM);
                }
                if (cls[static_cast<unsigned char>(c)] & kSep) {
                    pos_ = skipWhile(cls, s, p + 1, kSep);
                    continue;
                }
                pos_ = p + 1;
                return Delimiter::fromView(K::LEXERR, s.substr(p, 1));
            }

            case State::PI: {
                if (c == '?' && p + 1 < n && s[p + 1] == '>') {
                    pos_ = p + 2;
                    state_ = ret_;
                    return tok(K::PIC);
                }
                const std::size_t end = findByte(s, p + 1, '?');
                pos_ = end;
                return Delimiter::fromView(K::CDATA, s.substr(p, end - p));
            }

            case State::CData: {
                if (startsWithAt(s, p, "]]>")) {
                    pos_ = p + 3;
                    state_ = State::Content;
                    continue;
                }
                if (startsWithAt(s, p, "<![")) throw axf::Fatal("Nested <![ in marked section");
                const std::size_t end = skipUntil(cls, s, p + 1, kSectionStop);
                pos_ = end;
                return Delimiter::fromView(K::CDATA, s.substr(p, end - p));
            }

            case State::Markup: {
                const auto uc = static_cast<unsigned char>(c);
                switch (c) {
                    case '"':
                    case '\'': {
                        const std::size_t close = findByte(s, p + 1, c);
                        pos_ = close < n ? close + 1 : n;
                        return Delimiter::fromView(K::LITERAL, s.substr(p + 1, close - (p + 1)));
                    }
                    case '#': {
                        const std::size_t end = skipWhile(cls, s, p + 1, kNmChar);
                        pos_ = end;
                        return Delimiter::fromView(K::RNINAME, s.substr(p, end - p));
                    }
                    case '%': {
                        const std::size_t end = skipWhile(cls, s, p + 1, kNmChar);
                        const std::string_view name = s.substr(p + 1, end - (p + 1));
                        if (end < n && s[end] == ';') {
                            pos_ = end + 1;
                            return Delimiter::fromView(K::PEREF, name);
                        }
                        if (name.empty() && end < n && s[end] == ' ') {
                            pos_ = end + 1;
                            return tok(K::PERO);
                        }
                        pos_ = end;
                        std::string msg = "Bad parameter entity reference %";
                        msg.append(name);
                        return Delimiter::make(K::LEXERR, std::move(msg));
                    }
                    case '-':
                        if (p + 1 < n && s[p + 1] == '-') {
                            // A comment inside a declaration: dropped up to the
                            // first "--" after its opener (or to the end).
                            std::size_t q = p + 2;
                            for (;;) {
                                q = findByte(s, q, '-');
                                if (q + 1 >= n) {
                                    unclosedComment_ = p;
                                    q = n;
                                    break;
                                }
                                if (s[q + 1] == '-') {
                                    q += 2;
                                    break;
                                }
                                ++q;
                            }
                            pos_ = q;
                            continue;
                        }
                        pos_ = p + 1;
                        return tok(K::MINUS);
                    case '<':
                        if (p + 1 < n && s[p + 1] == '!') {
                            if (p + 3 < n && s[p + 2] == '-' && s[p + 3] == '-') {
                                pos_ = p + 4;
                                state_ = State::Comment;
                                ret_ = State::Markup;
                                return tok(K::MDOCOM);
                            }
                            pos_ = p + 2;
                            return tok(K::MDO);
                        }
                        if (p + 1 < n && s[p + 1] == '?') {
                            pos_ = p + 2;
                            state_ = State::PI;
                            ret_ = State::Markup;
                            return tok(K::PIO);
                        }
                        // Content mode takes the text from this '<' on.
                        state_ = State::Content;
                        continue;
                    case '>':
                        pos_ = p + 1;
                        return tok(K::MDC);
                    default:
                        break;
                }
                if (cls[uc] & kSep) {
                    pos_ = skipWhile(cls, s, p + 1, kSep);
                    continue;
                }
                if (cls[uc] & kNmStart) {
                    const std::size_t end = skipWhile(cls, s, p + 1, kNmChar);
                    pos_ = end;
                    return Delimiter::fromView(K::NAME, s.substr(p, end - p));
                }
                pos_ = p + 1;
                switch (c) {
                    case '(': return tok(K::GRPO);
                    case ')': return tok(K::GRPC);
                    case '&': return tok(K::AND);
                    case '|': return tok(K::OR);
                    case ',': return tok(K::SEQ);
                    case '?': return tok(K::OPT);
                    case '*': return tok(K::REP);
                    case '+': return tok(K::PLUS);
                    case '[': return tok(K::DSO);
                    case ']': return tok(K::DSC);
                    default: return Delimiter::fromView(K::LEXERR, s.substr(p, 1));
                }
            }
        }
        throw axf::InternalError("XMLScanner::next: unknown state");
    }
}

}  // namespace axf::xml
