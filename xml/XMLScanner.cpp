#include "xml/XMLScannerInternal.h"

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

const char* const kKindNames[] = {"WS",     "CDATA",  "GEREF", "STAGO", "ETAGO",   "MDO",   "MDOCOM",  "MDODSO", "PIO",
                                  "PIC",    "LEXERR", "REST",  "NAME",  "RNINAME", "PEREF", "LITERAL", "TAGC",   "VI",
                                  "EETAGC", "MDC",    "DSO",   "DSC",   "MSC",     "COM",   "GRPO",    "GRPC",   "AND",
                                  "OR",     "SEQ",    "OPT",   "REP",   "PLUS",    "MINUS", "PERO"};

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

using K = DelimKind;

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
        case DelimKind::LITERAL: return true;
        default: return false;
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
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
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
    : text_(document), classes_(classes().c.data()), state_(start == ScanMode::Markup ? State::Markup : State::Content) {}

std::vector<Delimiter> scanAll(std::string_view text, ScanMode start) {
    std::vector<Delimiter> out;
    XMLScanner sc(text, start);
    while (auto t = sc.next()) out.push_back(std::move(*t));
    return out;
}

// Each pass of the loop either finds one token or moves on without one
// (skipped white space, a skipped declaration comment, the opener or closer
// of a CDATA section, a hand-over to content mode).
std::optional<Delimiter> XMLScanner::next() {
    std::optional<Delimiter> token;
    while (!token) {
        const std::size_t p = pos_;
        if (p >= text_.size()) {
            last_ = text_.size();
            break;
        }
        last_ = p;
        scanInState(p, token);
    }
    return token;
}

inline void XMLScanner::scanInState(std::size_t p, std::optional<Delimiter>& token) {
    switch (state_) {
        case State::Content: return scanContent(p, token);
        case State::Tag: return scanTag(p, token);
        case State::Comment: return scanComment(p, token);
        case State::AfterComment: return scanAfterComment(p, token);
        case State::PI: return scanPI(p, token);
        case State::CData: return scanCData(p, token);
        case State::Markup: return scanDeclaration(p, token);
    }
    throw axf::InternalError("XMLScanner::next: unknown state");
}

// ---- content --------------------------------------------------------------

inline void XMLScanner::scanContent(std::size_t p, std::optional<Delimiter>& token) {
    const std::string_view s = text_;
    const char c = s[p];
    if (c == '<') return scanContentMarkup(p, token);
    if (c == '&') return scanContentReference(p, token);
    if (classes_[static_cast<unsigned char>(c)] & kSep) {
        const std::size_t end = skipWhile(classes_, s, p + 1, kSep);
        pos_ = end;
        token = Delimiter::fromView(K::WS, s.substr(p, end - p));
        return;
    }
    // Character data, '>' included: it runs to the next '<' or '&'.
    const std::size_t end = skipUntil(classes_, s, p + 1, kContentStop);
    pos_ = end;
    token = Delimiter::fromView(K::CDATA, s.substr(p, end - p));
}

// The '<' at p in content: a tag, a processing instruction, a comment, a
// declaration, a marked section's opener or closer.
inline void XMLScanner::scanContentMarkup(std::size_t p, std::optional<Delimiter>& token) {
    const std::string_view s = text_;
    const std::size_t n = s.size();
    if (p + 1 == n) {
        pos_ = n;
        state_ = State::Tag;
        token = tok(K::STAGO);
        return;
    }
    const char d = s[p + 1];
    if (d == '/') {
        pos_ = p + 2;
        state_ = State::Tag;
        token = tok(K::ETAGO);
        return;
    }
    if (d == '?') {
        pos_ = p + 2;
        state_ = State::PI;
        ret_ = State::Content;
        token = tok(K::PIO);
        return;
    }
    if (d == '!') return scanContentDeclarationOpen(p + 2, token);
    if (d == ']' && p + 3 < n && s[p + 2] == ']' && s[p + 3] == '>') {
        pos_ = p + 4;
        token = tok(K::MSC);
        return;
    }
    pos_ = p + 1;
    state_ = State::Tag;
    token = tok(K::STAGO);
}

// What follows "<!" in content, from q on: a comment, a marked section or a
// declaration.
inline void XMLScanner::scanContentDeclarationOpen(std::size_t q, std::optional<Delimiter>& token) {
    const std::string_view s = text_;
    const std::size_t n = s.size();
    if (q + 1 < n && s[q] == '-' && s[q + 1] == '-') {
        pos_ = q + 2;
        state_ = State::Comment;
        ret_ = State::Content;
        token = tok(K::MDOCOM);
        return;
    }
    if (q < n && s[q] == '[') {
        if (startsWithAt(s, q + 1, "CDATA[")) {
            pos_ = q + 7;
            state_ = State::CData;
            return;
        }
        const std::size_t open = findByte(s, q + 1, '[');
        pos_ = open < n ? open + 1 : n;
        std::string msg = "Illegal marked section [";
        msg.append(s.substr(q + 1, open - (q + 1)));
        token = Delimiter::make(K::LEXERR, std::move(msg));
        return;
    }
    pos_ = q;
    state_ = State::Markup;
    token = tok(K::MDO);
}

// The '&' at p in content: a character reference or an entity reference.
inline void XMLScanner::scanContentReference(std::size_t p, std::optional<Delimiter>& token) {
    const std::string_view s = text_;
    const std::size_t n = s.size();
    const std::size_t start = p + 1;
    if (start < n && s[start] == '#') {
        const std::size_t semi = findByte(s, start + 1, ';');
        pos_ = semi < n ? semi + 1 : n;
        token = Delimiter::charRef(s.substr(start + 1, semi - (start + 1)), semi < n);
        return;
    }
    const std::size_t end = skipWhile(classes_, s, start, kNmChar);
    const std::string_view name = s.substr(start, end - start);
    if (end < n && s[end] == ';') {
        pos_ = end + 1;
        token = Delimiter::fromView(K::GEREF, name);
        return;
    }
    pos_ = end;
    std::string msg = "Bad entity reference ";
    msg.append(name);
    token = Delimiter::make(K::LEXERR, std::move(msg));
}

// ---- tags ------------------------------------------------------------------

inline void XMLScanner::scanTag(std::size_t p, std::optional<Delimiter>& token) {
    const std::string_view s = text_;
    const std::size_t n = s.size();
    const char c = s[p];
    const auto uc = static_cast<unsigned char>(c);
    if (classes_[uc] & kSep) {
        pos_ = skipWhile(classes_, s, p + 1, kSep);
        return;
    }
    switch (c) {
        case '>':
            pos_ = p + 1;
            state_ = State::Content;
            token = tok(K::TAGC);
            return;
        case '=':
            pos_ = p + 1;
            token = tok(K::VI);
            return;
        case '<':
            if (p + 1 < n && s[p + 1] == '/') {
                pos_ = p + 2;
                token = tok(K::ETAGO);
                return;
            }
            pos_ = p + 1;
            token = tok(K::STAGO);
            return;
        case '"':
        case '\'': token = scanLiteral(p); return;
        case '/':
            if (p + 1 < n && s[p + 1] == '>') {
                pos_ = p + 2;
                state_ = State::Content;
                token = tok(K::EETAGC);
                return;
            }
            break;
        default: break;
    }
    if (classes_[uc] & kNmStart) {
        token = scanName(p);
        return;
    }
    pos_ = p + 1;
    token = Delimiter::fromView(K::LEXERR, s.substr(p, 1));
}

// The quoted text that starts with the quote at p, up to the same quote (or
// the end of the text).
inline Delimiter XMLScanner::scanLiteral(std::size_t p) {
    const std::string_view s = text_;
    const std::size_t close = findByte(s, p + 1, s[p]);
    pos_ = close < s.size() ? close + 1 : s.size();
    return Delimiter::fromView(K::LITERAL, s.substr(p + 1, close - (p + 1)));
}

// The name that starts at p.
inline Delimiter XMLScanner::scanName(std::size_t p) {
    const std::size_t end = skipWhile(classes_, text_, p + 1, kNmChar);
    pos_ = end;
    return Delimiter::fromView(K::NAME, text_.substr(p, end - p));
}

// ---- comment, processing-instruction and CDATA-section bodies -------------

inline void XMLScanner::scanComment(std::size_t p, std::optional<Delimiter>& token) {
    const std::string_view s = text_;
    if (s[p] == '-' && p + 1 < s.size() && s[p + 1] == '-') {
        pos_ = p + 2;
        state_ = State::AfterComment;
        token = tok(K::COM);
        return;
    }
    const std::size_t end = skipUntil(classes_, s, p + 1, kCommentStop);
    pos_ = end;
    token = Delimiter::fromView(K::CDATA, s.substr(p, end - p));
}

inline void XMLScanner::scanAfterComment(std::size_t p, std::optional<Delimiter>& token) {
    const std::string_view s = text_;
    const char c = s[p];
    if (c == '>') {
        pos_ = p + 1;
        state_ = ret_;
        token = tok(K::MDC);
        return;
    }
    if (c == '-' && p + 1 < s.size() && s[p + 1] == '-') {
        pos_ = p + 2;
        state_ = State::Comment;
        token = tok(K::COM);
        return;
    }
    if (classes_[static_cast<unsigned char>(c)] & kSep) {
        pos_ = skipWhile(classes_, s, p + 1, kSep);
        return;
    }
    pos_ = p + 1;
    token = Delimiter::fromView(K::LEXERR, s.substr(p, 1));
}

inline void XMLScanner::scanPI(std::size_t p, std::optional<Delimiter>& token) {
    const std::string_view s = text_;
    if (s[p] == '?' && p + 1 < s.size() && s[p + 1] == '>') {
        pos_ = p + 2;
        state_ = ret_;
        token = tok(K::PIC);
        return;
    }
    const std::size_t end = findByte(s, p + 1, '?');
    pos_ = end;
    token = Delimiter::fromView(K::CDATA, s.substr(p, end - p));
}

inline void XMLScanner::scanCData(std::size_t p, std::optional<Delimiter>& token) {
    const std::string_view s = text_;
    if (startsWithAt(s, p, "]]>")) {
        pos_ = p + 3;
        state_ = State::Content;
        return;
    }
    if (startsWithAt(s, p, "<![")) throw axf::Fatal("Nested <![ in marked section");
    const std::size_t end = skipUntil(classes_, s, p + 1, kSectionStop);
    pos_ = end;
    token = Delimiter::fromView(K::CDATA, s.substr(p, end - p));
}

// ---- declarations ----------------------------------------------------------

inline void XMLScanner::scanDeclaration(std::size_t p, std::optional<Delimiter>& token) {
    const std::string_view s = text_;
    const char c = s[p];
    const auto uc = static_cast<unsigned char>(c);
    switch (c) {
        case '"':
        case '\'': token = scanLiteral(p); return;
        case '#': {
            const std::size_t end = skipWhile(classes_, s, p + 1, kNmChar);
            pos_ = end;
            token = Delimiter::fromView(K::RNINAME, s.substr(p, end - p));
            return;
        }
        case '%': token = scanParameterReference(p); return;
        case '-':
            if (p + 1 < s.size() && s[p + 1] == '-') {
                skipDeclarationComment(p);
                return;
            }
            pos_ = p + 1;
            token = tok(K::MINUS);
            return;
        case '<': return scanDeclarationMarkup(p, token);
        case '>':
            pos_ = p + 1;
            token = tok(K::MDC);
            return;
        default: break;
    }
    if (classes_[uc] & kSep) {
        pos_ = skipWhile(classes_, s, p + 1, kSep);
        return;
    }
    if (classes_[uc] & kNmStart) {
        token = scanName(p);
        return;
    }
    pos_ = p + 1;
    token = declarationDelimiter(p);
}

// The one-byte delimiter at p in declarations (pos_ already past it).
inline Delimiter XMLScanner::declarationDelimiter(std::size_t p) const {
    switch (text_[p]) {
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
        default: return Delimiter::fromView(K::LEXERR, text_.substr(p, 1));
    }
}

// The '%' at p in declarations: a parameter entity reference, or the
// parameter entity opener "% ".
inline Delimiter XMLScanner::scanParameterReference(std::size_t p) {
    const std::string_view s = text_;
    const std::size_t n = s.size();
    const std::size_t end = skipWhile(classes_, s, p + 1, kNmChar);
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

// The "--" at p in declarations opens a comment: dropped up to the first
// "--" after its opener (or to the end).
inline void XMLScanner::skipDeclarationComment(std::size_t p) {
    const std::string_view s = text_;
    const std::size_t n = s.size();
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
}

// The '<' at p in declarations: a comment, a declaration, a processing
// instruction, or the hand-over to content mode.
inline void XMLScanner::scanDeclarationMarkup(std::size_t p, std::optional<Delimiter>& token) {
    const std::string_view s = text_;
    const std::size_t n = s.size();
    if (p + 1 < n && s[p + 1] == '!') {
        if (p + 3 < n && s[p + 2] == '-' && s[p + 3] == '-') {
            pos_ = p + 4;
            state_ = State::Comment;
            ret_ = State::Markup;
            token = tok(K::MDOCOM);
            return;
        }
        pos_ = p + 2;
        token = tok(K::MDO);
        return;
    }
    if (p + 1 < n && s[p + 1] == '?') {
        pos_ = p + 2;
        state_ = State::PI;
        ret_ = State::Markup;
        token = tok(K::PIO);
        return;
    }
    // Content mode takes the text from this '<' on.
    state_ = State::Content;
}

}  // namespace axf::xml
