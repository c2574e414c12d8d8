#include "index/DirectWalk.h"

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "index/NodeWalk.h"
#include "xml/DTD.h"
#include "xml/XMLParse.h"
#include "xml/XMLScanner.h"

namespace axf::index {
namespace {

// The direct walk over a prepared text. It reads the text as the scanner and
// the event parser would and drives the walk itself, without tokens or
// events, for the constructs of ordinary documents: start, end and
// empty-element tags with their attributes, character data, white space,
// character and predefined entity references, comments and processing
// instructions. At anything else it hands over, at the start of the event
// it could not take, to the event parser, which goes on from there; or, when
// the prolog is out of the ordinary, it leaves the whole text to the event
// parser before any step.

using namespace xml::scanclass;

struct DirectOutcome {
    enum Kind {
        Ended,       // the text ended
        Stopped,     // an end tag closed no open element
        HandedOver,  // the event parser goes on from `at`
        NotTaken,    // nothing walked: the event parser takes the whole text
    } kind;
    std::size_t at = 0;
};

class DirectWalk {
public:
    // done(k), when given, is told from time to time that the bytes before
    // k will not be read again.
    DirectWalk(std::string_view text, NodeWalk& walk, const PreparedPlaces& places, std::function<void(std::size_t)> done = {})
        : s_(text),
          d_(reinterpret_cast<const unsigned char*>(text.data())),
          n_(text.size()),
          walk_(walk),
          places_(places),
          done_(std::move(done)) {}

    DirectOutcome run() {
        // The prolog: white space, at most one processing instruction, white
        // space. A document type line is left to the event parser, and so is
        // a marked section here (its opener and closer give no token, so
        // the prolog reads on through it).
        std::size_t p = skipSep(0);
        if (startsWith(p, "<![")) return {DirectOutcome::NotTaken};
        if (startsWith(p, "<?")) {
            const std::size_t close = s_.find("?>", p + 2);
            if (close == std::string_view::npos) return {DirectOutcome::NotTaken};
            p = skipSep(close + 2);
        }
        if (startsWith(p, "<!") && !startsWith(p, "<!--")) return {DirectOutcome::NotTaken};

        for (;;) {
            if (p >= n_) return {DirectOutcome::Ended, n_};
            if (p >= nextDone_) tellDone(p);
            const unsigned char c = d_[p];
            if (c == '<') {
                const std::size_t next = markup(p);
                if (next == kStop) return {DirectOutcome::Stopped, p};
                if (next == kHandOver) return {DirectOutcome::HandedOver, p};
                p = next;
            } else if (c == '&') {
                const std::size_t next = reference(p);
                if (next == kHandOver) return {DirectOutcome::HandedOver, p};
                p = next;
            } else if (cls_[c] & kSep) {
                const std::size_t end = skipSep(p + 1);
                walk_.addText(s_.substr(p, end - p), true);
                p = end;
            } else {
                std::size_t end = p + 1;
                while (end < n_ && !(cls_[d_[end]] & kContentStop)) ++end;
                walk_.addText(s_.substr(p, end - p), true);
                p = end;
            }
        }
    }

private:
    static constexpr std::size_t kHandOver = ~std::size_t(0);
    static constexpr std::size_t kStop = kHandOver - 1;
    static constexpr std::size_t kDoneStep = std::size_t(8) << 20;

    // Everything before p is read (the walk keeps copies of what it keeps).
    void tellDone(std::size_t p) {
        nextDone_ = p + kDoneStep;
        if (!done_) return;
        // The walk's texts are read from the text itself until filed.
        walk_.flushTexts();
        done_(p);
    }

    struct Att {
        std::string_view name;
        std::string_view value;
        bool literal;
    };

    bool startsWith(std::size_t p, std::string_view w) const { return n_ - p >= w.size() && s_.compare(p, w.size(), w) == 0; }
    std::size_t skipSep(std::size_t p) const {
        while (p < n_ && (cls_[d_[p]] & kSep)) ++p;
        return p;
    }
    std::size_t skipName(std::size_t p) const {
        while (p < n_ && (cls_[d_[p]] & kNmChar)) ++p;
        return p;
    }
    bool nameStartAt(std::size_t p) const { return p < n_ && (cls_[d_[p]] & kNmStart); }
    std::size_t offsetOf(std::string_view part) const { return static_cast<std::size_t>(part.data() - s_.data()); }

    // The markup at p (a '<'): where the text goes on after it.
    std::size_t markup(std::size_t p) {
        if (p + 1 >= n_) return kHandOver;
        const char e = s_[p + 1];
        if (e == '/') {
            std::size_t q = skipSep(p + 2);
            if (!nameStartAt(q)) return kHandOver;
            q = skipSep(skipName(q + 1));
            if (q >= n_ || s_[q] != '>') return kHandOver;
            if (walk_.atTop()) return kStop;
            walk_.closeInnermost();
            return q + 1;
        }
        if (e == '?') {
            const std::size_t close = s_.find("?>", p + 2);
            return close == std::string_view::npos ? kHandOver : close + 2;
        }
        if (e == '!') {
            if (!startsWith(p, "<!--")) return kHandOver;
            const std::size_t com = s_.find("--", p + 4);
            if (com == std::string_view::npos) return kHandOver;
            const std::size_t q = skipSep(com + 2);
            if (q >= n_ || s_[q] != '>') return kHandOver;
            return q + 1;
        }
        if (e == ']') return kHandOver;
        return tag(p);
    }

    // A start or empty-element tag at p.
    std::size_t tag(std::size_t p) {
        std::size_t q = skipSep(p + 1);
        if (!nameStartAt(q)) return kHandOver;
        const std::size_t nameEnd = skipName(q + 1);
        const std::string_view name = s_.substr(q, nameEnd - q);
        atts_.clear();
        q = nameEnd;
        bool empty;
        for (;;) {
            q = skipSep(q);
            if (q >= n_) return kHandOver;
            if (s_[q] == '>') {
                empty = false;
                ++q;
                break;
            }
            if (s_[q] == '/' && q + 1 < n_ && s_[q + 1] == '>') {
                empty = true;
                q += 2;
                break;
            }
            if (!nameStartAt(q)) return kHandOver;
            const std::size_t attEnd = skipName(q + 1);
            const std::string_view att = s_.substr(q, attEnd - q);
            q = skipSep(attEnd);
            if (q >= n_ || s_[q] != '=') return kHandOver;
            q = skipSep(q + 1);
            if (q >= n_) return kHandOver;
            const char quote = s_[q];
            if (quote == '"' || quote == '\'') {
                const std::size_t close = s_.find(quote, q + 1);
                if (close == std::string_view::npos) return kHandOver;
                atts_.push_back({att, s_.substr(q + 1, close - (q + 1)), true});
                q = close + 1;
            } else if (nameStartAt(q)) {
                const std::size_t valueEnd = skipName(q + 1);
                atts_.push_back({att, s_.substr(q, valueEnd - q), false});
                q = valueEnd;
            } else {
                return kHandOver;
            }
        }
        walk_.open(name, false, offsetOf(name));
        for (const Att& a : atts_) {
            if (a.literal && a.value.find('&') != std::string_view::npos) {
                std::string value;
                try {
                    value = xml::expandReferences(xml::predefinedEntities(), a.value);
                } catch (const xml::ReferenceError& e) {
                    throw Fatal(places_.prefix(offsetOf(a.value) + e.offset) + e.what());
                }
                walk_.attribute(a.name, value, offsetOf(a.name));
            } else {
                walk_.attribute(a.name, a.value, offsetOf(a.name), true);
            }
        }
        if (empty) walk_.closeInnermost();
        return q;
    }

    // A reference at p (a '&'). One that cannot be read fails at p.
    std::size_t reference(std::size_t p) {
        if (p + 1 < n_ && s_[p + 1] == '#') {
            const std::size_t semi = s_.find(';', p + 2);
            const bool closed = semi != std::string_view::npos;
            const std::size_t end = closed ? semi : n_;
            std::uint32_t code;
            try {
                code = xml::charRefValue(s_.substr(p + 2, end - (p + 2)), closed);
            } catch (const Fatal& e) {
                throw Fatal(places_.prefix(p) + e.what());
            }
            charBuf_.clear();
            xml::appendCharCode(code, charBuf_);
            walk_.addText(charBuf_);
            return closed ? semi + 1 : n_;
        }
        const std::size_t end = skipName(p + 1);
        if (end >= n_ || s_[end] != ';') return kHandOver;
        char c;
        try {
            c = predefinedEntity(s_.substr(p + 1, end - (p + 1)));
        } catch (const Fatal& e) {
            throw Fatal(places_.prefix(p) + e.what());
        }
        walk_.addText(std::string_view(&c, 1));
        return end + 1;
    }

    std::string_view s_;
    const unsigned char* d_;
    std::size_t n_;
    NodeWalk& walk_;
    const PreparedPlaces& places_;
    const std::uint8_t* cls_ = xml::byteClasses();
    std::function<void(std::size_t)> done_;
    std::size_t nextDone_ = kDoneStep;
    std::vector<Att> atts_;
    std::string charBuf_;
};

}  // namespace

namespace {

// Where the parts of the event parser's events stand, for events of the
// prepared text from `from` on.
struct ParsedEventPlaces {
    const xml::DocumentEvents& events;
    const PreparedPlaces& places;
    std::size_t from;

    std::size_t tagName() const { return from + events.tagNameOffset(); }
    std::size_t attributeName(std::size_t i) const { return from + events.attributeNameOffset(i); }
    std::string eventPrefix() const { return places.prefix(from + events.eventOffset()); }
    std::string attributeValuePrefix(std::size_t i, std::size_t offset) const {
        return places.prefix(from + events.attributeValueOffset(i) + offset);
    }
};

// Walks the event parser's events of text[from, end), or of the whole
// document (with its prolog) when from is 0 and withProlog is set; a stop
// before the end of the text fails with the position in the original text.
// Names and messages get their places from the parser's offsets.
void walkEvents(NodeWalk& walk, const PreparedPlaces& places, std::string_view prepared, std::size_t from, bool withProlog,
                bool& reachedEnd) {
    xml::DocumentEvents events = withProlog ? xml::parseDocument(prepared) : xml::parseInstance(prepared.substr(from));
    const auto next = [&]() -> std::optional<xml::XMLEvent> {
        try {
            return events.next();
        } catch (const Fatal& e) {
            const std::optional<std::size_t> at = events.failureOffset();
            throw Fatal(places.prefix(at ? from + *at : kNoOffset) + e.what());
        }
    };
    reachedEnd = walk.feed(next, ParsedEventPlaces{events, places, from});
    if (reachedEnd && events.stop().early) {
        const auto& stop = events.stop();
        throw Fatal(places.prefix(from + stop.offset) + "Attention: malformed document at byte " +
                    std::to_string(places.originalOffset(from + stop.offset)) + ": " + stop.token);
    }
}

}  // namespace

BuildResult buildIndexesDirect(std::string_view prepared, const PreparedPlaces& places, ReadProgress done) {
    NodeWalk walk(prepared.size());
    DirectOutcome outcome = DirectWalk(prepared, walk, places, std::move(done)).run();
    bool reachedEnd = outcome.kind == DirectOutcome::Ended;
    if (outcome.kind == DirectOutcome::HandedOver)
        walkEvents(walk, places, prepared, outcome.at, false, reachedEnd);
    else if (outcome.kind == DirectOutcome::NotTaken)
        walkEvents(walk, places, prepared, 0, true, reachedEnd);
    BuildResult result = walk.finish(reachedEnd);
    if (const auto unknown = walk.firstUnknownName()) result.unknownNamePlace = places.prefix(unknown->second);
    return result;
}

BuildResult buildIndexesDirect(std::string_view prepared, std::string_view original) {
    return buildIndexesDirect(prepared, PlacesInText(original, DocumentOrigin{}), {});
}

}  // namespace axf::index
