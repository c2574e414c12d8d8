// The XML scanner: cuts document text into the token stream that the event
// parser reads. One pull-style scanner walks the text by index: each call of
// next() finds one token and hands it out, in content mode, the tag state,
// comment and processing-instruction bodies, CDATA sections or declaration
// mode, each state handing the rest of the text to the next. Nothing is
// scanned ahead of need, and no state recurses: the stack stays flat for any
// number of tokens.
//
// Also here: the scanner's character classes and reference expansion for
// attribute values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Fatal.h"
#include "xml/DTD.h"

namespace axf::xml {

// The 34 token kinds, in their fixed order. "Text" is what the token carries
// (see kindHasText); the others are the delimiter alone.
// clang-format off
enum class DelimKind : std::uint8_t {
    WS,       // white space in content; text: the blanks
    CDATA,    // character data: a text run of content, a piece of a comment,
              // processing-instruction or CDATA-section body, or the
              // character of a character reference; text: the characters
    GEREF,    // entity reference "&name;"; text: the name
    STAGO,    // start-tag opener "<"
    ETAGO,    // end-tag opener "</"
    MDO,      // declaration opener "<!"
    MDOCOM,   // comment opener "<!--"
    MDODSO,   // marked-section opener "<![" (the scanner reads CDATA
              // sections itself and never gives it)
    PIO,      // processing-instruction opener "<?"
    PIC,      // processing-instruction closer "?>"
    LEXERR,   // text that cannot be read there; text: the byte, or a message
    REST,     // the rest of a text; text: that rest (no scanner state gives it)
    NAME,     // a name; text: the name
    RNINAME,  // reserved name "#PCDATA", "#IMPLIED", ...; text: with the '#'
    PEREF,    // parameter entity reference "%name;"; text: the name
    LITERAL,  // quoted text; text: without the quotes
    TAGC,     // tag closer ">"
    VI,       // value indicator "=" between an attribute's name and value
    EETAGC,   // empty-element tag closer "/>"
    MDC,      // declaration (or comment) closer ">"
    DSO,      // declaration subset opener "["
    DSC,      // declaration subset closer "]"
    MSC,      // marked-section closer "]]>"
    COM,      // comment delimiter "--"
    GRPO,     // group opener "("
    GRPC,     // group closer ")"
    AND,      // "&" between the members of a content group: all, any order
    OR,       // "|" between the members of a content group: one of them
    SEQ,      // "," between the members of a content group: in this order
    OPT,      // "?" after a content token: optional
    REP,      // "*" after a content token: any number of times
    PLUS,     // "+" after a content token: once or more
    MINUS,    // "-" in declarations (an omissible tag's flag, an exclusion)
    PERO      // parameter entity opener "% " in an entity declaration
};
// clang-format on

// True for the nine kinds that carry a text: WS, CDATA, GEREF, LEXERR, REST,
// NAME, RNINAME, PEREF, LITERAL.
bool kindHasText(DelimKind k);

// One token. Texts taken from the document are held as views into it (the
// document must outlive its tokens); a character reference keeps its digits
// and computes its character when its text is first read, which is where a
// malformed reference fails (axf::Fatal).
class Delimiter {
public:
    Delimiter() = default;  // REST with the empty text; no scanner state gives it

    DelimKind kind() const { return kind_; }
    bool is(DelimKind k) const { return kind_ == k; }
    bool hasText() const { return kindHasText(kind_); }

    // The token's text (empty for kinds without one). May throw axf::Fatal
    // for a character reference.
    const std::string& text() const;
    // The same text without a copy where it lies in the document. May throw
    // like text().
    std::string_view view() const;

    // True for a CDATA token made from a character reference.
    bool isCharRef() const { return src_ == Src::CharRef; }

    // A token with its own text.
    static Delimiter make(DelimKind k, std::string text = {});
    // A token whose text is a view of text that outlives it.
    static Delimiter fromView(DelimKind k, std::string_view text);
    // The CDATA token of a character reference: `body` is the text after
    // "&#" up to (not including) its ";", `closed` tells whether the ";" was
    // there.
    static Delimiter charRef(std::string_view body, bool closed);

private:
    enum class Src : std::uint8_t { Own, View, CharRef };

    DelimKind kind_ = DelimKind::REST;
    Src src_ = Src::Own;
    bool closed_ = true;         // CharRef: a ";" ended the reference
    mutable bool ready_ = true;  // text_ holds the text
    std::string_view view_;      // View: the text; CharRef: the reference's body
    mutable std::string text_;
};

// Same kind and, for kinds with a text, the same bytes. Reads both texts
// (a malformed character reference fails here).
bool operator==(const Delimiter& a, const Delimiter& b);

void showAt(int prec, const Delimiter& d, std::string& out);

// Character classes on bytes 0..255.
bool isSEPCHAR(unsigned char c);  // 9..13, 32, 160
bool isNMCHAR(unsigned char c);   // letter or digit, or . - _ :
bool isNMSTART(unsigned char c);  // letter or digit, or _ :

// The scanner's byte classes as one table of 256 bit sets, for loops that
// test several classes per byte.
namespace scanclass {
enum : std::uint8_t {
    kSep = 1,           // white space
    kNmChar = 2,        // name character
    kNmStart = 4,       // name-start character
    kContentStop = 8,   // ends a text run in content: '<' '&'
    kCommentStop = 16,  // ends a comment piece: '-' line feed
    kSectionStop = 32,  // ends a CDATA-section piece: '<' ']' line feed
};
}  // namespace scanclass
const std::uint8_t* byteClasses();

// Character references. `body` is the reference's text after "&#": "x41" or
// "X41" (hexadecimal), "65" (decimal). Only digits of the base are accepted;
// an empty digit text, a bad digit or a code above 1114111 ends the run with
// a message naming the reference. `closed` says whether the reference ended
// with ";" (used in the message only).
std::uint32_t charRefValue(std::string_view body, bool closed = true);
// Appends the character with the given code: one byte for 0..255, the UTF-8
// bytes above that.
void appendCharCode(std::uint32_t code, std::string& out);

// A reference that cannot be read: the message, and the offset of the
// reference's '&' in the text being expanded.
class ReferenceError : public axf::Fatal {
public:
    ReferenceError(const std::string& text, std::size_t ampersandOffset) : Fatal(text), offset(ampersandOffset) {}
    std::size_t offset;
};

// Replaces the character references and entity references of `text`
// ("&#65;", "&#x41;", "&amp;") by their characters and replacement texts. An
// entity the table does not hold as an internal entity ends the run with
// "entity <name> not defined"; the name runs to the next ";" (or the end).
// Replacement texts are not scanned again. A reference that cannot be read
// throws ReferenceError.
std::string expandReferences(const EntityTable& table, std::string_view text);

// The mode a scanner starts in.
enum class ScanMode : std::uint8_t { Content, Markup };

class XMLScanner {
public:
    // The text must outlive the scanner and every token it hands out.
    explicit XMLScanner(std::string_view document, ScanMode start = ScanMode::Content);

    // The next token; nullopt at the end of the text. A CDATA section that
    // holds "<![" ends the run ("Nested <![ in marked section") when the
    // token at that place is asked for.
    std::optional<Delimiter> next();

    // Byte offset where the token last returned by next() begins.
    std::size_t lastOffset() const { return last_; }
    // Byte offset where scanning goes on.
    std::size_t offset() const { return pos_; }
    // Where a comment inside declarations ("--" in declaration mode) began
    // that was still open at the end of the text: it took the whole rest of
    // the text without giving a token.
    std::optional<std::size_t> unclosedCommentAt() const { return unclosedComment_; }
    std::string_view document() const { return text_; }

private:
    // Content: text between tags; Tag: inside a start or end tag; Comment:
    // a comment's body; AfterComment: after a comment's closing "--"; PI: a
    // processing instruction's body; CData: a CDATA section's body; Markup:
    // declarations.
    enum class State : std::uint8_t { Content, Tag, Comment, AfterComment, PI, CData, Markup };

    // One step in the current state at offset p (before the end of the
    // text): puts the token found there into `token`, or leaves it empty
    // after moving on without one. The token is built in next()'s result.
    void scanInState(std::size_t p, std::optional<Delimiter>& token);
    // One function per state.
    void scanContent(std::size_t p, std::optional<Delimiter>& token);
    void scanTag(std::size_t p, std::optional<Delimiter>& token);
    void scanComment(std::size_t p, std::optional<Delimiter>& token);
    void scanAfterComment(std::size_t p, std::optional<Delimiter>& token);
    void scanPI(std::size_t p, std::optional<Delimiter>& token);
    void scanCData(std::size_t p, std::optional<Delimiter>& token);
    void scanDeclaration(std::size_t p, std::optional<Delimiter>& token);
    // Parts of the content and declaration states.
    void scanContentMarkup(std::size_t p, std::optional<Delimiter>& token);
    void scanContentDeclarationOpen(std::size_t q, std::optional<Delimiter>& token);
    void scanContentReference(std::size_t p, std::optional<Delimiter>& token);
    void scanDeclarationMarkup(std::size_t p, std::optional<Delimiter>& token);
    Delimiter scanParameterReference(std::size_t p);
    Delimiter declarationDelimiter(std::size_t p) const;
    void skipDeclarationComment(std::size_t p);
    // Tokens of both the tag and the declaration state.
    Delimiter scanLiteral(std::size_t p);
    Delimiter scanName(std::size_t p);

    std::string_view text_;
    const std::uint8_t* classes_;  // byteClasses()
    std::size_t pos_ = 0;
    std::size_t last_ = 0;
    State state_ = State::Content;
    State ret_ = State::Content;  // where comment and PI bodies return
    std::optional<std::size_t> unclosedComment_;
};

// Every token of the text (for tests and tools).
std::vector<Delimiter> scanAll(std::string_view text, ScanMode start = ScanMode::Content);

}  // namespace axf::xml
