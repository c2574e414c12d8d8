#include "query/NodeLabel.h"

#include <cstring>
#include <variant>

#include "common/Fatal.h"
#include "query/NodeLabelInternal.h"

namespace axf::query {
namespace {

constexpr char kCaret = '^';
constexpr char kEscape = '\\';

bool escapes(std::string_view s, std::size_t i) {
    return s[i] == kEscape && i + 1 < s.size() && (s[i + 1] == kCaret || s[i + 1] == kEscape);
}

// Appends the unescaped bytes of label[from, to) to out.
void appendUnescaped(std::string& out, std::string_view label, std::size_t from, std::size_t to) {
    while (from < to) {
        // Runs without a backslash are copied whole.
        const void* hit = std::memchr(label.data() + from, kEscape, to - from);
        const std::size_t i = hit ? std::size_t(static_cast<const char*>(hit) - label.data()) : to;
        out.append(label.data() + from, i - from);
        if (i == to) return;
        if (escapes(label, i)) {
            out.push_back(label[i + 1]);
            from = i + 2;
        } else {
            out.push_back(kEscape);
            from = i + 1;
        }
    }
}

[[noreturn]] void notCovered(std::string_view label, std::int64_t k) {
    throw InternalError("getLabelComponent: label \"" + std::string(label) + "\" has no component " + std::to_string(k));
}

}  // namespace

std::string escapeLabelValue(std::string_view value) {
    std::string out;
    out.reserve(value.size() + 2);
    for (char c : value) {
        if (c == kCaret || c == kEscape) out.push_back(kEscape);
        out.push_back(c);
    }
    return out;
}

std::string makeLabel(std::string_view value, std::int64_t position) {
    std::string out = escapeLabelValue(value);
    out.push_back(kCaret);
    out += std::to_string(position);
    return out;
}

std::string makeLabel(std::string_view value, std::int64_t queryNumber, std::int64_t position) {
    std::string out = escapeLabelValue(value);
    out.push_back(kCaret);
    out += std::to_string(queryNumber);
    out.push_back(kCaret);
    out += std::to_string(position);
    return out;
}

std::size_t findLabelCaret(std::string_view label, std::size_t from) {
    for (std::size_t i = from; i < label.size(); ++i) {
        if (escapes(label, i))
            ++i;
        else if (label[i] == kCaret)
            return i;
    }
    return std::string_view::npos;
}

std::string getLabelComponent(std::string_view label, std::int64_t k) {
    if (k < 1) notCovered(label, k);
    std::size_t start = 0;
    for (std::int64_t c = 1; c < k; ++c) {
        std::size_t caret = findLabelCaret(label, start);
        if (caret == std::string_view::npos) notCovered(label, k);
        start = caret + 1;
    }
    std::size_t end = findLabelCaret(label, start);
    if (end == std::string_view::npos) end = label.size();
    std::string out;
    out.reserve(end - start);
    appendUnescaped(out, label, start, end);
    return out;
}

std::string rootLabelComponent(const xml::Tree* tree, std::int64_t k) {
    if (const auto* el = std::get_if<xml::ELNode>(&tree->value)) return getLabelComponent(el->name, k);
    if (const auto* tx = std::get_if<xml::TXNode>(&tree->value)) {
        if (tree->isLeaf()) return getLabelComponent(tx->text, k);
        throw InternalError("rootLabelComponent: text node \"" + tx->text + "\" has children");
    }
    xml::raiseIfFailure(tree->value);
    throw InternalError("rootLabelComponent: root is neither an element nor a text");
}

xml::TreeList wrapChildren(const std::string& label, const xml::TreeList& children) {
    if (children.empty()) return {};
    return {xml::makeTree(xml::ELNode{label, {}}, children)};
}

}  // namespace axf::query
