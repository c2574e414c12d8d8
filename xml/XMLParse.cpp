#include "xml/XMLParseInternal.h"

#include "common/Fatal.h"
#include "xml/ParserHelpers.h"

namespace axf::xml {

// ---- token stream ------------------------------------------------------------

TokenStream::TokenStream(std::string_view text) : scanner_(std::in_place, text), endOffset_(text.size()) {}

TokenStream::TokenStream(std::vector<Delimiter> tokens) : given_(std::move(tokens)), endOffset_(given_.size()) {}

bool TokenStream::pull() {
    if (ended_) return false;
    if (scanner_) {
        std::optional<Delimiter> t = scan();
        if (!t) {
            ended_ = true;
            return false;
        }
        buf_.emplace_back(std::move(*t), scanner_->lastOffset());
        return true;
    }
    if (givenNext_ >= given_.size()) {
        ended_ = true;
        return false;
    }
    buf_.emplace_back(std::move(given_[givenNext_]), givenNext_);
    ++givenNext_;
    return true;
}

std::optional<Delimiter> TokenStream::scan() {
    try {
        return scanner_->next();
    } catch (const Fatal&) {
        scanFailureAt_ = scanner_->lastOffset();
        throw;
    }
}

std::size_t TokenStream::offset(std::size_t pos) {
    if (!peek(pos)) return endOffset_;
    return buf_[head_ + (pos - base_)].offset;
}

void TokenStream::release(std::size_t pos) {
    if (pos <= base_) return;
    head_ += pos - base_;
    base_ = pos;
    if (head_ >= buf_.size()) {
        // Everything read: start over, keeping the capacity.
        buf_.clear();
        head_ = 0;
    } else if (head_ >= 1024 && head_ * 2 >= buf_.size()) {
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(head_));
        head_ = 0;
    }
}

// ---- grammar -------------------------------------------------------------------

PIValue splitPI(std::string_view content) {
    std::size_t i = 0;
    while (i < content.size() && isNMCHAR(static_cast<unsigned char>(content[i]))) ++i;
    std::size_t j = i;
    while (j < content.size() && isSEPCHAR(static_cast<unsigned char>(content[j]))) ++j;
    return {std::string(content.substr(0, i)), std::string(content.substr(j))};
}

// Each parser of the grammar is a constant built on first use (a
// function-local static), so it is ready whenever a parse starts, also during
// the start-up of other modules. Parsers hold copies of their parts.

namespace {

struct Append {
    std::string operator()(std::string acc, std::string piece) const {
        acc += piece;
        return acc;
    }
};

// The run of text pieces of a comment or PI body, joined in order. (A left
// fold of concatenation gives the same text as the right fold and stays
// linear in the number of pieces.)
const auto& textRun() {
    static const auto p = pFoldl(Append{}, std::string(), pText);
    return p;
}

const auto& commentP() {
    static const auto p = seqL(seqL(seqR(pDelim(DelimKind::MDOCOM), textRun()), pDelim(DelimKind::COM)), pDelim(DelimKind::MDC));
    return p;
}

const auto& declCommentP() {
    static const auto p =
        seqWith([](std::string first, std::string further, Unit) { return first + further; },
                seqL(seqR(pDelim(DelimKind::MDOCOM), textRun()), pDelim(DelimKind::COM)),
                pFoldl(Append{}, std::string(), seqL(seqR(pDelim(DelimKind::COM), textRun()), pDelim(DelimKind::COM))),
                pDelim(DelimKind::MDC));
    return p;
}

const auto& piP() {
    static const auto p = seqWith(
        [](Unit, std::vector<std::string> pieces, Unit) {
            std::size_t n = 0;
            for (const auto& piece : pieces) n += piece.size();
            std::string content;
            content.reserve(n);
            for (const auto& piece : pieces) content += piece;
            return splitPI(content);
        },
        pDelim(DelimKind::PIO), pList(pText), pDelim(DelimKind::PIC));
    return p;
}

struct ExpandLiteral {
    axf::Lazy<std::string> operator()(std::string&& literal) const {
        // Without a reference the expansion is the literal itself.
        if (literal.find('&') == std::string::npos) return axf::Lazy<std::string>::ready(std::move(literal));
        return axf::Lazy<std::string>([lit = std::move(literal)]() { return expandReferences(predefinedEntities(), lit); });
    }
};
struct ReadyValue {
    axf::Lazy<std::string> operator()(std::string&& name) const { return axf::Lazy<std::string>::ready(std::move(name)); }
};

const auto& attValueP() {
    static const auto p = alt(fmap(ExpandLiteral{}, pLiteral), fmap(ReadyValue{}, pName));
    return p;
}

const auto& attributeP() {
    static const auto p =
        seqWith([](std::string&& name, Unit,
                   axf::Lazy<std::string>&& value) { return LazyAttList::value_type(std::move(name), std::move(value)); },
                pName, pDelim(DelimKind::VI), attValueP());
    return p;
}

const auto& tagCloseP() {
    static const auto p = alt(constAs(true, pDelim(DelimKind::TAGC)), constAs(false, pDelim(DelimKind::EETAGC)));
    return p;
}

const auto& startTagP() {
    static const auto p = seqWith(
        [](Unit, std::string&& name, LazyAttList&& atts, bool start) -> XMLEvent {
            if (start) return StartEvent{std::move(name), std::move(atts)};
            return EmptyEvent{std::move(name), std::move(atts)};
        },
        pDelim(DelimKind::STAGO), pName, pList(attributeP()), tagCloseP());
    return p;
}

const auto& endTagP() {
    static const auto p = seqWith([](Unit, std::string&& name, Unit) -> XMLEvent { return EndEvent{std::move(name)}; },
                                  pDelim(DelimKind::ETAGO), pName, pDelim(DelimKind::TAGC));
    return p;
}

const auto& tagP() {
    static const auto p = alt(startTagP(), endTagP());
    return p;
}

const auto& eventP() {
    static const auto p = alt(tagP(),                                                                            //
                              fmap([](std::string&& t) -> XMLEvent { return TextEvent{std::move(t)}; }, pText),  //
                              fmap([](std::string&& n) -> XMLEvent { return GERefEvent{std::move(n)}; }, pGERef),
                              fmap(
                                  [](PIValue pi) -> XMLEvent {
                                      return PIEvent{std::move(pi.first), std::move(pi.second)};
                                  },
                                  piP()),
                              fmap([](std::string&& c) -> XMLEvent { return CommentEvent{std::move(c)}; }, commentP()));
    return p;
}

const auto& externalIdP() {
    static const auto p = alt(seqWith(
                                  [](Unit, std::optional<std::string> sys) {
                                      return ExternalId{std::nullopt, std::move(sys)};
                                  },
                                  pKeyword("SYSTEM"), pMaybe(pLiteral)),
                              seqWith(
                                  [](Unit, std::string pub, std::optional<std::string> sys) {
                                      return ExternalId{std::move(pub), std::move(sys)};
                                  },
                                  pKeyword("PUBLIC"), pLiteral, pMaybe(pLiteral)),
                              pSucceed(ExternalId{}));
    return p;
}

const auto& doctypeBodyP() {
    static const auto p = constAs(Unit{}, seqR(pName, externalIdP()));
    return p;
}

const auto& doctypeP() {
    static const auto p = seqWith([](Unit, Unit, Unit, Unit) { return Unit{}; }, pDelim(DelimKind::MDO), pKeyword("DOCTYPE"),
                                  doctypeBodyP(), pDelim(DelimKind::MDC));
    return p;
}

const auto& prologP() {
    static const auto p =
        seqWith([](Unit, std::optional<PIValue> pi, Unit, std::optional<Unit> dt) { return pair(std::move(pi), dt); }, pSkipWS,
                pMaybe(piP()), pSkipWS, pMaybe(doctypeP()));
    return p;
}

}  // namespace

// The shared, type-erased forms, built on first use.
const XP<XMLEvent>& pEvent() {
    static const XP<XMLEvent> p(eventP());
    return p;
}
const XP<axf::Lazy<std::string>>& pAttValue() {
    static const XP<axf::Lazy<std::string>> p(attValueP());
    return p;
}
const XP<std::string>& pComment() {
    static const XP<std::string> p(commentP());
    return p;
}
const XP<std::string>& pDeclComment() {
    static const XP<std::string> p(declCommentP());
    return p;
}
const XP<PIValue>& pPI() {
    static const XP<PIValue> p(piP());
    return p;
}
const XP<ExternalId>& pExternalId() {
    static const XP<ExternalId> p(externalIdP());
    return p;
}

// ---- printed form of tokens ------------------------------------------------------

namespace {

// before + s (cut to 60 bytes) + after.
std::string cutShort(std::string_view s, std::string_view before = {}, std::string_view after = {}) {
    constexpr std::size_t kMax = 60;
    std::string out;
    out.reserve(before.size() + kMax + 3 + after.size());
    out.append(before);
    out.append(s.substr(0, kMax));
    if (s.size() > kMax) out.append("...");
    out.append(after);
    return out;
}

// A short printed form of a token for messages (long texts cut short).
std::string describeToken(const Delimiter& t) {
    switch (t.kind()) {
        // The text of these may hold a character reference whose value is
        // computed on reading (and may fail), so it is not read here.
        case DelimKind::WS: return "white space";
        case DelimKind::CDATA: return "character data";
        case DelimKind::GEREF: return cutShort(t.text(), "&", ";");
        case DelimKind::PEREF: return cutShort(t.text(), "%", ";");
        case DelimKind::LITERAL: return cutShort(t.text(), "'", "'");
        case DelimKind::LEXERR:
        case DelimKind::REST:
        case DelimKind::NAME:
        case DelimKind::RNINAME: return cutShort(t.text());
        case DelimKind::STAGO: return "<";
        case DelimKind::ETAGO: return "</";
        case DelimKind::MDO: return "<!";
        case DelimKind::MDOCOM: return "<!--";
        case DelimKind::MDODSO: return "<![";
        case DelimKind::PIO: return "<?";
        case DelimKind::PIC: return "?>";
        case DelimKind::TAGC: return ">";
        case DelimKind::VI: return "=";
        case DelimKind::EETAGC: return "/>";
        case DelimKind::MDC: return ">";
        case DelimKind::DSO: return "[";
        case DelimKind::DSC: return "]";
        case DelimKind::MSC: return "]]>";
        case DelimKind::COM: return "--";
        case DelimKind::GRPO: return "(";
        case DelimKind::GRPC: return ")";
        case DelimKind::AND: return "&";
        case DelimKind::OR: return "|";
        case DelimKind::SEQ: return ",";
        case DelimKind::OPT: return "?";
        case DelimKind::REP: return "*";
        case DelimKind::PLUS: return "+";
        case DelimKind::MINUS: return "-";
        case DelimKind::PERO: return "%";
    }
    throw InternalError("describeToken: unknown token kind");
}

}  // namespace

// ---- document entry ----------------------------------------------------------------

class DocumentParser {
public:
    DocumentParser(TokenStream tokens, bool withProlog)
        : tokens_(std::move(tokens)), state_(withProlog ? State::Prolog : State::Events) {}

    std::optional<XMLEvent> next() {
        // The tokens of the event last returned are kept until now: its
        // parts' offsets are read from them.
        tokens_.release(pos_);
        if (state_ == State::Prolog) {
            auto r = prologP()(tokens_, 0);
            if (!r.ok()) {
                state_ = State::Ended;
                noteStop(r.rest, r.rest);
                stop.early = true;  // even when the prolog broke off at the end of the text
                return XMLEvent(ErrorEvent{"Error parsing prolog"});
            }
            pos_ = r.rest;
            tokens_.release(pos_);
            state_ = State::Events;
        }
        if (state_ == State::Ended) return std::nullopt;
        auto r = eventP()(tokens_, pos_);
        if (!r.ok()) {
            state_ = State::Ended;
            noteStop(pos_, r.rest);
            return std::nullopt;
        }
        eventStart_ = pos_;
        pos_ = r.rest;
        return std::move(*r.value);
    }

    // Where the event last returned stands. A tag's tokens are STAGO,
    // NAME, then NAME VI value for each attribute.
    std::size_t eventOffset() const { return state_ == State::Ended ? stop.offset : tokens_.peekedOffset(eventStart_); }
    std::size_t tagNameOffset() const { return tokens_.peekedOffset(eventStart_ + 1); }
    std::size_t attributeNameOffset(std::size_t i) const { return tokens_.peekedOffset(eventStart_ + 2 + 3 * i); }
    std::size_t attributeValueOffset(std::size_t i) const {
        const std::size_t value = eventStart_ + 4 + 3 * i;
        return tokens_.peekedOffset(value) + (tokens_.peeked(value).is(DelimKind::LITERAL) ? 1 : 0);
    }

    // After next() has thrown: the token the scanner refused, or else the
    // first token of the failed parse, which has been read (the one token
    // whose text is read and may fail is a text event's only token).
    std::optional<std::size_t> failureOffset() const {
        if (tokens_.scanFailureAt()) return tokens_.scanFailureAt();
        if (tokens_.isPeeked(pos_)) return tokens_.peekedOffset(pos_);
        return std::nullopt;
    }

    DocumentEvents::Stop stop;

private:
    enum class State { Prolog, Events, Ended };

    void noteStop(std::size_t at, std::size_t failAt) {
        const Delimiter* t = tokens_.peek(at);
        stop.early = t != nullptr;
        stop.offset = tokens_.offset(at);
        stop.token = t ? describeToken(*t) : "end of text";
        const Delimiter* f = tokens_.peek(failAt);
        stop.failOffset = tokens_.offset(failAt);
        stop.failToken = f ? describeToken(*f) : "end of text";
        if (!t) {
            // The tokens ran out. A "--" comment still open at the end of
            // the text swallowed everything after it (a document type line
            // followed by "--" loses the whole document that way): that is
            // an early stop too, at the comment.
            if (auto open = tokens_.unclosedCommentAt()) {
                stop.early = true;
                stop.offset = stop.failOffset = *open;
                stop.token = stop.failToken = "unclosed comment \"--\"";
            }
        }
    }

    TokenStream tokens_;
    State state_;
    std::size_t pos_ = 0;
    std::size_t eventStart_ = 0;  // the first token of the event last returned
};

DocumentEvents::DocumentEvents(std::unique_ptr<DocumentParser> parser) : parser_(std::move(parser)) {}
DocumentEvents::DocumentEvents(DocumentEvents&&) noexcept = default;
DocumentEvents& DocumentEvents::operator=(DocumentEvents&&) noexcept = default;
DocumentEvents::~DocumentEvents() = default;

std::optional<XMLEvent> DocumentEvents::next() { return parser_->next(); }
const DocumentEvents::Stop& DocumentEvents::stop() const { return parser_->stop; }
std::size_t DocumentEvents::eventOffset() const { return parser_->eventOffset(); }
std::size_t DocumentEvents::tagNameOffset() const { return parser_->tagNameOffset(); }
std::size_t DocumentEvents::attributeNameOffset(std::size_t i) const { return parser_->attributeNameOffset(i); }
std::size_t DocumentEvents::attributeValueOffset(std::size_t i) const { return parser_->attributeValueOffset(i); }
std::optional<std::size_t> DocumentEvents::failureOffset() const { return parser_->failureOffset(); }

DocumentEvents parseDocument(std::string_view text) {
    return DocumentEvents(std::make_unique<DocumentParser>(TokenStream(text), true));
}
DocumentEvents parseInstance(std::string_view text) {
    return DocumentEvents(std::make_unique<DocumentParser>(TokenStream(text), false));
}
DocumentEvents parseInstanceTokens(std::vector<Delimiter> tokens) {
    return DocumentEvents(std::make_unique<DocumentParser>(TokenStream(std::move(tokens)), false));
}

}  // namespace axf::xml
