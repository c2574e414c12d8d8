// The XML event parser: turns a document's token stream into the sequence of
// parse events (start/empty/end tags, text, processing instructions, entity
// references, comments, errors) that the document indexer consumes. Events
// are produced on request; scanning goes only as far as they need.
//
// The grammar is written on the deterministic combinators of DetParser.h over
// a TokenStream, which buffers the scanner's tokens (or a hand-made token
// list) from the last committed position on.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "common/Lazy.h"
#include "xml/DTD.h"
#include "xml/DetParser.h"
#include "xml/XMLScanner.h"

namespace axf::xml {

// ---- events ----------------------------------------------------------------

// Attribute values are expanded on first get(): a bad reference in a value
// that is never read never fails.
using LazyAttList = std::vector<std::pair<std::string, axf::Lazy<std::string>>>;

struct StartEvent {
    std::string name;
    LazyAttList attributes;
};
struct EmptyEvent {
    std::string name;
    LazyAttList attributes;
};
struct EndEvent {
    std::string name;
};
struct TextEvent {
    std::string text;
};
struct PIEvent {
    std::string target;
    std::string text;
};
struct GERefEvent {
    std::string name;
};
struct CommentEvent {
    std::string text;
};
struct ErrorEvent {
    std::string message;
};

using XMLEvent = std::variant<StartEvent, EmptyEvent, EndEvent, TextEvent, PIEvent, GERefEvent, CommentEvent, ErrorEvent>;

// ---- token stream ------------------------------------------------------------

// The tokens of one text, pulled from the scanner on demand (or taken from a
// given list) and kept from the last released position on. Positions are
// absolute token indices. A peeked pointer stays valid until the next call.
class TokenStream {
public:
    using Token = Delimiter;

    // Scans `text` in content mode; `text` must outlive the stream.
    explicit TokenStream(std::string_view text);
    // Scans `text` from the given mode (declaration texts start in
    // declaration mode); `text` must outlive the stream.
    TokenStream(std::string_view text, ScanMode start) : scanner_(std::in_place, text, start), endOffset_(text.size()) {}
    // A hand-made token list; the offset of a token is its index.
    explicit TokenStream(std::vector<Delimiter> tokens);

    // The token at pos, or nullptr when the sequence ends before it.
    const Delimiter* peek(std::size_t pos) {
        std::size_t i = head_ + (pos - base_);
        while (i >= buf_.size()) {
            if (!pull()) return nullptr;
        }
        return &buf_[i].token;
    }
    // The byte offset of the token at pos (the end offset when there is none).
    std::size_t offset(std::size_t pos);
    // The token at pos and its byte offset, for a pos from the last released
    // one on that has been peeked.
    const Delimiter& peeked(std::size_t pos) const { return buf_[head_ + (pos - base_)].token; }
    std::size_t peekedOffset(std::size_t pos) const { return buf_[head_ + (pos - base_)].offset; }
    bool isPeeked(std::size_t pos) const { return pos >= base_ && head_ + (pos - base_) < buf_.size(); }
    // Tokens before pos will not be read again.
    void release(std::size_t pos);
    // Once the tokens have ended: where a comment inside declarations began
    // that took the rest of the text without a token (see XMLScanner).
    std::optional<std::size_t> unclosedCommentAt() const { return scanner_ ? scanner_->unclosedCommentAt() : std::nullopt; }
    // Once the scanner has failed (thrown) on a token: where that token
    // began.
    std::optional<std::size_t> scanFailureAt() const { return scanFailureAt_; }

private:
    struct Entry {
        Delimiter token;
        std::size_t offset;
    };
    bool pull();
    // The scanner's next token, noting where it failed should it throw.
    std::optional<Delimiter> scan();

    std::optional<XMLScanner> scanner_;
    std::vector<Delimiter> given_;
    std::size_t givenNext_ = 0;
    std::size_t endOffset_ = 0;
    bool ended_ = false;
    std::vector<Entry> buf_;  // buf_[head_] is the token at position base_
    std::size_t head_ = 0;
    std::size_t base_ = 0;
    std::optional<std::size_t> scanFailureAt_;
};

// ---- token parsers -----------------------------------------------------------
// Each looks at one token. They fail without consuming on any other token and
// at the end of the tokens.

// The text of a token of kind `kind` or `alsoKind`.
struct TokenText {
    DelimKind kind;
    DelimKind alsoKind;
    std::optional<std::string> operator()(const Delimiter& d) const {
        if (d.kind() != kind && d.kind() != alsoKind) return std::nullopt;
        return std::optional<std::string>(std::in_place, d.view());
    }
};
// A token of kind `kind` (a kind without text).
struct IsKind {
    DelimKind kind;
    std::optional<Unit> operator()(const Delimiter& d) const {
        if (d.kind() != kind) return std::nullopt;
        return Unit{};
    }
};
// A token of kind `kind` whose whole text is `word` (case-sensitive).
struct IsWord {
    DelimKind kind;
    std::string word;
    std::optional<Unit> operator()(const Delimiter& d) const {
        if (d.kind() != kind || d.view() != word) return std::nullopt;
        return Unit{};
    }
};
struct DropValue {
    Unit operator()(Unit u, Unit) const { return u; }
};

// One WS or CDATA token: its text.
inline constexpr Check<TokenText> pText{{DelimKind::WS, DelimKind::CDATA}};
// One LITERAL token: its text, unexpanded.
inline constexpr Check<TokenText> pLiteral{{DelimKind::LITERAL, DelimKind::LITERAL}};
// One PEREF / GEREF token: the entity name.
inline constexpr Check<TokenText> pPERef{{DelimKind::PEREF, DelimKind::PEREF}};
inline constexpr Check<TokenText> pGERef{{DelimKind::GEREF, DelimKind::GEREF}};
// One NAME token (not RNINAME): the name.
inline constexpr Check<TokenText> pName{{DelimKind::NAME, DelimKind::NAME}};

// One token of the given kind without text. (Its value, the token, is
// never used; it yields the empty value.)
constexpr Check<IsKind> pDelim(DelimKind k) { return {{k}}; }
// One NAME token spelling exactly k.
constexpr Check<IsWord> pKeyword(std::string k) { return {{DelimKind::NAME, std::move(k)}}; }
// One RNINAME token spelling exactly k, "#" included.
constexpr Check<IsWord> pReservedName(std::string k) { return {{DelimKind::RNINAME, std::move(k)}}; }

// The longest run of WS tokens, possibly none; never fails.
inline const Foldl<DropValue, Unit, Check<IsKind>> pSkipWS{{}, Unit{}, {{DelimKind::WS}}};

// ---- grammar -------------------------------------------------------------------
// Each parser is built once, on first use, and shared.

template <class V>
using XP = P<TokenStream, V>;

using PIValue = std::pair<std::string, std::string>;  // (target, text)

// A literal (expanded over the predefined entities on first read) or a name.
const XP<axf::Lazy<std::string>>& pAttValue();
// A comment declaration holding one or more comments; the texts joined.
const XP<std::string>& pDeclComment();
// A processing instruction, split into (target, text).
const XP<PIValue>& pPI();
const XP<ExternalId>& pExternalId();

// ---- document entry ----------------------------------------------------------

class DocumentParser;

// The event sequence of one document, produced on request.
class DocumentEvents {
public:
    // Where and why the sequence ended. `early` is true when it stopped
    // before the end of the tokens, or at their end when a comment opened by
    // "--" in declaration mode (after a document type line) took the rest of
    // the text (then `token` says so); otherwise the scanner found no token
    // in the rest of the text (white space, or nothing). `offset` and `token` are the byte offset
    // and printed form (or a short description) of the token at which the
    // last, failed parse began: the token that begins no event, or the first
    // token of a construct that broke off. `failOffset` and `failToken` name
    // the token at which the parse found it could not go on (the same token
    // when it begins no event). For "Error parsing prolog" both name the
    // token at which the prolog broke off, and `early` is true. Without an early stop, offset and
    // failOffset are the end of the text and the tokens are "end of text".
    struct Stop {
        bool early = false;
        std::size_t offset = 0;
        std::string token;
        std::size_t failOffset = 0;
        std::string failToken;
    };

    explicit DocumentEvents(std::unique_ptr<DocumentParser> parser);
    DocumentEvents(DocumentEvents&&) noexcept;
    DocumentEvents& operator=(DocumentEvents&&) noexcept;
    ~DocumentEvents();

    // The next event, or nullopt once the sequence has ended.
    std::optional<XMLEvent> next();
    // Valid once next() has returned nullopt.
    const Stop& stop() const;

    // Where the event last returned by next() stands, as byte offsets (token
    // indices over a hand-made token list), until next() is called again.
    // eventOffset: its first token (for "Error parsing prolog", the token
    // at which the prolog broke off).
    std::size_t eventOffset() const;
    // For a start or empty-element tag: its name, attribute i's name, and
    // the first byte of attribute i's value (inside the quotes).
    std::size_t tagNameOffset() const;
    std::size_t attributeNameOffset(std::size_t i) const;
    std::size_t attributeValueOffset(std::size_t i) const;
    // Once next() has thrown (a character reference that cannot be read, a
    // text the scanner refuses): where the failing token began, when known.
    std::optional<std::size_t> failureOffset() const;

private:
    std::unique_ptr<DocumentParser> parser_;
};

// The events of a whole document: the prolog is read and dropped ("Error
// parsing prolog" as the only event when it does not parse), then one event
// per step until no event parses. `text` must outlive the result.
DocumentEvents parseDocument(std::string_view text);
// The events of a text without prolog, from its first token.
DocumentEvents parseInstance(std::string_view text);
}  // namespace axf::xml
