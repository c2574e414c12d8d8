// Internal: for this folder, its tests and benchmarks (the interface is
// Regexp.h).
//
// The automaton of a compiled pattern: one node per position, holding the
// position's element test, the positions that may follow it, the counter steps
// of counted repetitions and the capture steps of named sub-expressions.
//
// Node operations that change one field take the node last and return the new
// node; updateNode takes the automaton by value, so a caller that moves its
// automaton in gets it changed in place and one that keeps a copy keeps the
// old contents.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "common/Fatal.h"
#include "regex/Matchers.h"
#include "regex/PositionSets.h"

namespace axf::regex {

// ---------------------------------------------------------------------------
// Element of a position

template <class E>
struct NFAEl {
    Matcher<E> matcher;
};
template <class E>
struct NFABack {
    std::string name;
    BackrefBuilder<E> builder;
};
struct NFAFinal {};

template <class E>
using NfaElem = std::variant<NFAEl<E>, NFABack<E>, NFAFinal>;

// ---------------------------------------------------------------------------
// Counter steps (one counter per interval label)

// An immutable position set shared by its copies: the end-of-pass step of one
// repetition stands on every last position of its body, and its loop and exit
// sets are kept once however many positions carry it.
class SharedPosSet {
public:
    SharedPosSet() : set_(empty()) {}
    SharedPosSet(PosSet s) : set_(std::make_shared<const PosSet>(std::move(s))) {}

    const PosSet& get() const { return *set_; }
    operator const PosSet&() const { return *set_; }
    friend bool operator==(const SharedPosSet& a, const SharedPosSet& b) { return a.get() == b.get(); }
    friend bool operator==(const SharedPosSet& a, const PosSet& b) { return a.get() == b; }

private:
    static const std::shared_ptr<const PosSet>& empty() {
        static const std::shared_ptr<const PosSet> e = std::make_shared<const PosSet>();
        return e;
    }
    std::shared_ptr<const PosSet> set_;
};

struct IntStart {
    std::int32_t label;
};
struct IntContinue {
    PosSet next;
};
struct NGIntContinue {
    PosSet next;
};
struct IntEnd {
    std::int32_t label;
    std::int32_t m;
    std::int32_t n;
    SharedPosSet loop;
    SharedPosSet exit;
};
struct MinEnd {
    std::int32_t label;
    std::int32_t m;
    SharedPosSet loop;
    SharedPosSet exit;
};
struct Reset {
    std::int32_t label;
};
struct NGIntEnd {
    std::int32_t label;
    std::int32_t m;
    std::int32_t n;
    SharedPosSet loop;
    SharedPosSet exit;
};
struct NGMinEnd {
    std::int32_t label;
    std::int32_t m;
    SharedPosSet loop;
    SharedPosSet exit;
};

using CounterStep = std::variant<IntStart, IntContinue, NGIntContinue, IntEnd, MinEnd, Reset, NGIntEnd, NGMinEnd>;

// ---------------------------------------------------------------------------
// Capture steps

struct NFASubAdd {
    std::string name;
};
struct NFASubContinue {
    PosSet next;
};
struct NFASubEnd {
    std::string name;
};

using CaptureStep = std::variant<NFASubAdd, NFASubContinue, NFASubEnd>;

// ---------------------------------------------------------------------------
// Nodes and the automaton

template <class E>
struct Node {
    NfaElem<E> elem = NFAFinal{};
    PosSet nexts;
    std::vector<CounterStep> counterSteps;
    std::vector<CaptureStep> captureSteps;
};

// Nodes labelled 1..size().
template <class E>
class NFA {
public:
    NFA() = default;
    explicit NFA(std::int32_t n) : nodes_(n > 0 ? std::size_t(n) : 0) {}

    std::int32_t size() const { return std::int32_t(nodes_.size()); }
    const Node<E>& at(Pos i) const {
        if (i < 1 || i > size()) throw InternalError("NFA: label outside the automaton");
        return nodes_[std::size_t(i - 1)];
    }
    Node<E>& at(Pos i) {
        if (i < 1 || i > size()) throw InternalError("NFA: label outside the automaton");
        return nodes_[std::size_t(i - 1)];
    }

private:
    std::vector<Node<E>> nodes_;
};

template <class E>
NFA<E> initNFA(std::int32_t n) {
    return NFA<E>(n);
}

// a with node i replaced by f(node i).
template <class E, class F>
NFA<E> updateNode(F&& f, Pos i, NFA<E> a) {
    Node<E>& node = a.at(i);
    node = f(std::move(node));
    return a;
}

template <class E>
NFA<E> alterNode(Node<E> x, Pos i, NFA<E> a) {
    a.at(i) = std::move(x);
    return a;
}

// The automaton while the assembly walk fills it. Steps that go in front of a
// node's steps arrive innermost construct first; they are gathered per node
// and put in place once, by finishBuild, so each step is written once.
template <class E>
struct NFABuild {
    NFA<E> a;
    std::vector<std::vector<CounterStep>> counterStepsFront;  // by label, in arrival order
    std::vector<std::vector<CaptureStep>> captureStepsFront;
};

template <class E>
NFABuild<E> startBuild(NFA<E> a) {
    const std::size_t n = std::size_t(a.size()) + 1;
    return NFABuild<E>{std::move(a), std::vector<std::vector<CounterStep>>(n), std::vector<std::vector<CaptureStep>>(n)};
}

// Counter and capture steps: in front of the node's steps, or after them.
template <class E>
void prependCounterStep(NFABuild<E>& b, Pos i, CounterStep step) {
    b.a.at(i);  // checks the label
    b.counterStepsFront[std::size_t(i)].push_back(std::move(step));
}
template <class E>
void appendCounterStep(NFABuild<E>& b, Pos i, CounterStep step) {
    b.a.at(i).counterSteps.push_back(std::move(step));
}
template <class E>
void prependCaptureStep(NFABuild<E>& b, Pos i, CaptureStep step) {
    b.a.at(i);
    b.captureStepsFront[std::size_t(i)].push_back(std::move(step));
}
template <class E>
void appendCaptureStep(NFABuild<E>& b, Pos i, CaptureStep step) {
    b.a.at(i).captureSteps.push_back(std::move(step));
}

// The automaton with the gathered front steps in place, the one that arrived
// last first.
template <class E>
NFA<E> finishBuild(NFABuild<E> b) {
    auto place = [](auto& front, auto& steps) {
        if (front.empty()) return;
        std::reverse(front.begin(), front.end());
        front.insert(front.end(), std::make_move_iterator(steps.begin()), std::make_move_iterator(steps.end()));
        steps = std::move(front);
    };
    for (Pos p = 1; p <= b.a.size(); ++p) {
        Node<E>& node = b.a.at(p);
        place(b.counterStepsFront[std::size_t(p)], node.counterSteps);
        place(b.captureStepsFront[std::size_t(p)], node.captureSteps);
    }
    return std::move(b.a);
}

// The union of the next sets of the nodes labelled by s.
template <class E>
PosSet followNodes(const PosSet& s, const NFA<E>& a) {
    PosSet out;
    for (auto it = s.rbegin(); it != s.rend(); ++it) out = posUnion(a.at(*it).nexts, out);
    return out;
}

template <class E>
const NfaElem<E>& getNfaElem(const Node<E>& n) {
    return n.elem;
}
template <class E>
const PosSet& getNexts(const Node<E>& n) {
    return n.nexts;
}
template <class E>
const std::vector<CounterStep>& getCounterSteps(const Node<E>& n) {
    return n.counterSteps;
}
template <class E>
const std::vector<CaptureStep>& getCaptureSteps(const Node<E>& n) {
    return n.captureSteps;
}

template <class E>
Node<E> changeNexts(PosSet s, Node<E> n) {
    n.nexts = std::move(s);
    return n;
}
template <class E>
Node<E> changeCounterSteps(std::vector<CounterStep> steps, Node<E> n) {
    n.counterSteps = std::move(steps);
    return n;
}
template <class E>
Node<E> changeCaptureSteps(std::vector<CaptureStep> steps, Node<E> n) {
    n.captureSteps = std::move(steps);
    return n;
}
template <class E>
Node<E> mkNfaEl(Matcher<E> m, Node<E> n) {
    n.elem = NFAEl<E>{std::move(m)};
    return n;
}
template <class E>
Node<E> mkNfaBack(std::string name, BackrefBuilder<E> b, Node<E> n) {
    n.elem = NFABack<E>{std::move(name), std::move(b)};
    return n;
}
template <class E>
Node<E> mkNfaFinal(Pos label, Node<E> n) {
    n.elem = NFAFinal{};
    n.nexts = PosSet{label};
    return n;
}

}  // namespace axf::regex
