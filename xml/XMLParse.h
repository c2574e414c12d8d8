// The XML event parser: turns a document's token stream into the sequence of
// parse events (start/empty/end tags, text, processing instructions, entity
// references, comments, errors) that the document indexer consumes. Events
// are produced on request; scanning goes only as far as they need.
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

namespace axf::xml {

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

class DocumentParser;

// The event sequence of one document, produced on request.
class DocumentEvents {
public:
    // Where and why the sequence ended. `early` is true when it stopped
    // before the end of the text (white space aside); `offset` is the byte
    // offset of the token that began no event and `token` its printed form
    // (or a short description).
    struct Stop {
        bool early = false;
        std::size_t offset = 0;
        std::string token;
    };

    explicit DocumentEvents(std::unique_ptr<DocumentParser> parser);
    DocumentEvents(DocumentEvents&&) noexcept;
    DocumentEvents& operator=(DocumentEvents&&) noexcept;
    ~DocumentEvents();

    // The next event, or nullopt once the sequence has ended.
    std::optional<XMLEvent> next();
    // Valid once next() has returned nullopt.
    const Stop& stop() const;

private:
    std::unique_ptr<DocumentParser> parser_;
};

// The events of a whole document (prolog, then the instance). `text` must
// outlive the result.
DocumentEvents parseDocument(std::string_view text);

}  // namespace axf::xml
