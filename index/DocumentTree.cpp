#include "index/DocumentTree.h"

#include <cstdlib>
#include <new>
#include <utility>

#include "common/Fatal.h"
#include "index/DocumentLabel.h"

namespace axf::index {

struct DocumentTree::Nodes {
    const xml::Tree* built = nullptr;  // the root, once made
    Mapping labels;
    PageArray<std::uint32_t> words;
    LargeCounts large;
    // The node made for each position made so far, found by position (open
    // addressing; position 0, which numbers no node, marks a free cell). A
    // run builds a few subtrees scattered over the document, so the table
    // holds what is made and nothing for the positions between.
    struct MadeCell {
        std::int64_t position;
        const xml::Tree* tree;
    };
    PageArray<MadeCell> madeCells;  // a power of two of them, or none
    std::size_t madeCount = 0;

    static std::size_t cellOf(std::int64_t p, std::size_t mask) {
        return static_cast<std::size_t>((static_cast<std::uint64_t>(p) * 0x9E3779B97F4A7C15ULL) >> 20) & mask;
    }
    const xml::Tree* made(std::int64_t p) const {
        const std::size_t n = madeCells.size();
        if (n == 0) return nullptr;
        for (std::size_t i = cellOf(p, n - 1);; i = (i + 1) & (n - 1)) {
            const MadeCell& c = madeCells[i];
            if (c.position == p) return c.tree;
            if (c.position == 0) return nullptr;
        }
    }
    void setMade(std::int64_t p, const xml::Tree* t) {
        if (2 * (madeCount + 1) > madeCells.size()) growMade();
        const std::size_t mask = madeCells.size() - 1;
        std::size_t i = cellOf(p, mask);
        while (madeCells[i].position != 0 && madeCells[i].position != p) i = (i + 1) & mask;
        if (madeCells[i].position == 0) ++madeCount;
        madeCells[i] = MadeCell{p, t};
    }
    void growMade() {
        PageArray<MadeCell> cells;
        const std::size_t n = madeCells.empty() ? 1024 : 2 * madeCells.size();
        cells.reserve(n);
        for (std::size_t i = 0; i < n; ++i) cells.push_back(MadeCell{0, nullptr});
        for (const MadeCell& c : madeCells) {
            if (c.position == 0) continue;
            std::size_t i = cellOf(c.position, n - 1);
            while (cells[i].position != 0) i = (i + 1) & (n - 1);
            cells[i] = c;
        }
        madeCells = std::move(cells);
    }

    std::int64_t size() const { return std::int64_t(words.size()); }
    bool isText(std::int64_t p) const { return words[std::size_t(p)] & 1; }
    std::int64_t last(std::int64_t p) const {
        const std::uint32_t w = words[std::size_t(p)];
        if (w == kLargeWord) return p + large.at(p);
        return p + std::int64_t(w >> 1);
    }

    const xml::Tree* leaf(std::int64_t p) const {
        std::string label = documentLabel(labels[std::size_t(p)], p);
        if (isText(p)) return xml::leafNode(xml::TXNode{std::move(label)});
        return xml::leafNode(xml::ELNode{std::move(label), {}});
    }

    // The subtree at p, made without recursion; nodes made before are
    // reused with their subtrees.
    const xml::Tree* subtree(std::int64_t p) {
        if (const xml::Tree* t = made(p)) return t;
        struct Frame {
            std::int64_t position;
            std::int64_t next;  // the next child to take
            std::size_t firstKid;
        };
        std::vector<Frame> open;
        std::vector<const xml::Tree*> kids;
        auto take = [&](std::int64_t c) -> bool {  // false: c is opened
            if (const xml::Tree* t = made(c)) {
                kids.push_back(t);
                return true;
            }
            if (last(c) == c) {
                const xml::Tree* t = leaf(c);
                setMade(c, t);
                kids.push_back(t);
                return true;
            }
            open.push_back(Frame{c, c + 1, kids.size()});
            return false;
        };
        if (take(p)) return kids.back();
        for (;;) {
            Frame& f = open.back();
            if (f.next <= last(f.position)) {
                const std::int64_t c = f.next;
                f.next = last(c) + 1;
                take(c);
                continue;
            }
            const Frame done = f;
            open.pop_back();
            std::span<const xml::Tree* const> children(kids.data() + done.firstKid, kids.size() - done.firstKid);
            const xml::Tree* t =
                xml::makeTree(xml::ELNode{documentLabel(labels[std::size_t(done.position)], done.position), {}}, children);
            setMade(done.position, t);
            kids.resize(done.firstKid);
            if (open.empty()) return t;
            kids.push_back(t);
        }
    }
};

std::uint32_t DocumentTree::elementWord(std::int64_t position, std::int64_t after, LargeCounts& large) {
    if (after >= 0 && after < std::int64_t(kLargeWord >> 1)) return std::uint32_t(after) << 1;
    large[position] = after;
    return kLargeWord;
}

DocumentTree::DocumentTree() : nodes_(std::make_shared<Nodes>()) {}

DocumentTree::DocumentTree(const xml::Tree* built) : nodes_(std::make_shared<Nodes>()) { nodes_->built = built; }

DocumentTree::DocumentTree(Mapping labels, std::initializer_list<std::uint32_t> words, LargeCounts large)
    : DocumentTree(
          std::move(labels),
          [words] {
              PageArray<std::uint32_t> kept;
              kept.reserve(words.size());
              for (std::uint32_t w : words) kept.push_back(w);
              return kept;
          }(),
          std::move(large)) {}

DocumentTree::DocumentTree(Mapping labels, PageArray<std::uint32_t> words, LargeCounts large)
    : nodes_(std::make_shared<Nodes>()) {
    if (labels.size() != words.size()) throw InternalError("DocumentTree: labels and words differ in number");
    nodes_->labels = std::move(labels);
    nodes_->words = std::move(words);
    nodes_->large = std::move(large);
}

std::int64_t DocumentTree::size() const { return nodes_->size(); }

std::string_view DocumentTree::label(std::int64_t position) const { return nodes_->labels[std::size_t(position)]; }

bool DocumentTree::isText(std::int64_t position) const { return nodes_->isText(position); }

std::int64_t DocumentTree::last(std::int64_t position) const { return nodes_->last(position); }

std::span<const std::uint32_t> DocumentTree::words() const { return {nodes_->words.data(), nodes_->words.size()}; }

bool DocumentTree::byPosition() const { return nodes_->size() > 1; }

const xml::Tree* DocumentTree::root() const {
    Nodes& n = *nodes_;
    if (!n.built) n.built = byPosition() ? n.subtree(1) : xml::elem("empty");
    return n.built;
}

xml::TreeList DocumentTree::sons(std::int64_t position) const {
    if (!byPosition()) throw InternalError("DocumentTree::sons: no nodes by position");
    Nodes& n = *nodes_;
    if (position < 1 || position > n.last(1) || n.isText(position)) return {};
    xml::TreeList out;
    for (std::int64_t c = position + 1; c <= n.last(position); c = n.last(c) + 1) out.push_back(n.subtree(c));
    return out;
}

}  // namespace axf::index
