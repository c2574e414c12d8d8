#include "xml/XMLParse.h"

namespace axf::xml {

class DocumentParser {
public:
    explicit DocumentParser(std::string_view text) : text_(text) {}
    std::optional<XMLEvent> next() { return std::nullopt; }
    DocumentEvents::Stop stop;

private:
    std::string_view text_;
};

DocumentEvents::DocumentEvents(std::unique_ptr<DocumentParser> parser) : parser_(std::move(parser)) {}
DocumentEvents::DocumentEvents(DocumentEvents&&) noexcept = default;
DocumentEvents& DocumentEvents::operator=(DocumentEvents&&) noexcept = default;
DocumentEvents::~DocumentEvents() = default;

std::optional<XMLEvent> DocumentEvents::next() { return parser_->next(); }
const DocumentEvents::Stop& DocumentEvents::stop() const { return parser_->stop; }

DocumentEvents parseDocument(std::string_view text) { return DocumentEvents(std::make_unique<DocumentParser>(text)); }

}  // namespace axf::xml
