#include "query/TreeJoin.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <variant>
#include <vector>

#include "query/FailureTree.h"

namespace axf::query {

using xml::ELNode;
using xml::Tree;

struct JoinScope::State {
    // Deferred joins, and the trees built over one (both "hold" one).
    std::unordered_set<const Tree*> deferred, holding;
    std::unordered_map<const Tree*, const Tree*> resolved;
};

namespace {

thread_local JoinScope::State* activeJoins = nullptr;
thread_local bool coveringJoins = false;  // see CoverScope

// A deferred join: the root over the children of every part, in order.
const Tree* deferJoin(ELNode root, std::span<const Tree* const> parts) {
    const Tree* t = xml::makeTree(std::move(root), parts);
    activeJoins->deferred.insert(t);
    activeJoins->holding.insert(t);
    return t;
}

const Tree* joinTrees(const Tree* x, const Tree* y, std::string_view combination) {
    if (x && isDeferredFailure(x)) return x;
    const ELNode* ex = x ? std::get_if<ELNode>(&x->value) : nullptr;
    if (!ex) return makeDeferredFailure(std::string(combination) + ": first tree root is " + rootKindText(x));
    if (y && isDeferredFailure(y)) return y;
    if (!y || !std::holds_alternative<ELNode>(y->value))
        return makeDeferredFailure(std::string(combination) + ": second tree root is " + rootKindText(y));
    if (activeJoins) {
        const Tree* const parts[2] = {x, y};
        return deferJoin(ELNode{ex->name, ex->attributes}, parts);
    }
    return concatUnder(ELNode{ex->name, ex->attributes}, x->children(), y->children());
}

// The children gathered for a joined tree before makeTree copies them into
// the arena; reused from join to join.
std::vector<const Tree*>& childBuffer() {
    thread_local std::vector<const Tree*> buffer;
    buffer.clear();
    return buffer;
}

// The post-order walk of JoinScope::resolve over the trees that hold a
// deferred join: a node's children (for a deferred join, the children of its
// parts, parts that are deferred joins expanded in place) are made plain
// first.
class ResolveWalk {
public:
    explicit ResolveWalk(JoinScope::State& st) : st_(st) {}

    void run(const Tree* t) {
        open(t);
        while (!stack_.empty()) {
            Frame& f = stack_.back();
            if (f.next < f.kids.size()) {
                if (!settleChild(f)) open(f.kids[f.next]);
                continue;
            }
            const Tree* out = f.changed ? xml::makeTree(f.node->value, f.kids) : f.node;
            st_.resolved.emplace(f.node, out);
            stack_.pop_back();
        }
    }

private:
    struct Frame {
        const Tree* node;
        std::vector<const Tree*> kids;
        std::size_t next = 0;
        bool changed = false;
    };

    void open(const Tree* n) {
        Frame f{n, {}, 0, st_.deferred.count(n) != 0};
        if (f.changed) {
            parts_.assign(n->kids, n->kids + n->kidCount);
            std::reverse(parts_.begin(), parts_.end());
            while (!parts_.empty()) {
                const Tree* part = parts_.back();
                parts_.pop_back();
                if (st_.deferred.count(part)) {
                    for (std::size_t i = part->kidCount; i-- > 0;) parts_.push_back(part->kids[i]);
                } else {
                    f.kids.insert(f.kids.end(), part->kids, part->kids + part->kidCount);
                }
            }
        } else {
            f.kids.assign(n->kids, n->kids + n->kidCount);
        }
        stack_.push_back(std::move(f));
    }

    // Puts the plain form of the frame's next child in its place and moves
    // on; false, with nothing done, when that child is still to be made plain.
    bool settleChild(Frame& f) {
        const Tree* c = f.kids[f.next];
        if (st_.holding.count(c)) {
            auto it = st_.resolved.find(c);
            if (it == st_.resolved.end()) return false;
            if (it->second != c) {
                f.kids[f.next] = it->second;
                f.changed = true;
            }
        }
        ++f.next;
        return true;
    }

    JoinScope::State& st_;
    std::vector<Frame> stack_;
    std::vector<const Tree*> parts_;
};

}  // namespace

// ---------------------------------------------------------------------------
// Deferred and covering joins.

JoinScope::JoinScope() : state_(std::make_unique<State>()), previous_(activeJoins) { activeJoins = state_.get(); }

JoinScope::~JoinScope() { activeJoins = previous_; }

CoverScope::CoverScope() : previous_(coveringJoins) { coveringJoins = true; }
CoverScope::~CoverScope() { coveringJoins = previous_; }

bool coveringJoinsActive() { return coveringJoins; }

void JoinScope::noteParent(const Tree* parent, const Tree* child) {
    if (activeJoins && activeJoins->holding.count(child)) activeJoins->holding.insert(parent);
}

const Tree* JoinScope::resolve(const Tree* t) {
    State& st = *state_;
    if (!t || !st.holding.count(t)) return t;
    if (auto it = st.resolved.find(t); it != st.resolved.end()) return it->second;
    ResolveWalk(st).run(t);
    return st.resolved.at(t);
}

// ---------------------------------------------------------------------------
// Joins.

const Tree* concatUnder(ELNode root, std::span<const Tree* const> first, std::span<const Tree* const> second) {
    if (second.empty()) return xml::makeTree(std::move(root), first);
    if (first.empty()) return xml::makeTree(std::move(root), second);
    std::vector<const Tree*>& kids = childBuffer();
    kids.insert(kids.end(), first.begin(), first.end());
    kids.insert(kids.end(), second.begin(), second.end());
    return xml::makeTree(std::move(root), kids);
}

EmbeddingEntry joinEntries(const EmbeddingEntry& x, const EmbeddingEntry& y, std::int64_t n, std::string_view combination) {
    EmbeddingEntry r = x;
    r.cost = x.cost + y.cost + n;
    r.tree = joinTrees(x.tree, y.tree, combination);
    return r;
}

EmbeddingEntry joinEntryList(std::span<const EmbeddingEntry* const> picked, std::int64_t n, std::string_view combination) {
    EmbeddingEntry r = *picked[0];
    for (std::size_t k = 1; k < picked.size(); ++k) r.cost += picked[k]->cost + n;
    const Tree* x = picked[0]->tree;
    if (x && isDeferredFailure(x)) return r;
    const ELNode* ex = x ? std::get_if<ELNode>(&x->value) : nullptr;
    if (!ex) {
        r.tree = makeDeferredFailure(std::string(combination) + ": first tree root is " + rootKindText(x));
        return r;
    }
    for (std::size_t k = 1; k < picked.size(); ++k) {
        const Tree* y = picked[k]->tree;
        if (y && isDeferredFailure(y)) {
            r.tree = y;
            return r;
        }
        if (!y || !std::holds_alternative<ELNode>(y->value)) {
            r.tree = makeDeferredFailure(std::string(combination) + ": second tree root is " + rootKindText(y));
            return r;
        }
    }
    std::vector<const Tree*>& parts = childBuffer();
    if (activeJoins) {
        for (const EmbeddingEntry* e : picked) parts.push_back(e->tree);
        r.tree = deferJoin(ELNode{ex->name, ex->attributes}, parts);
        return r;
    }
    for (const EmbeddingEntry* e : picked) parts.insert(parts.end(), e->tree->kids, e->tree->kids + e->tree->kidCount);
    r.tree = xml::makeTree(ELNode{ex->name, ex->attributes}, parts);
    return r;
}

}  // namespace axf::query
