// The automaton runner and its match policy.
//
// The match starts at the leftmost input position where the pattern can match.
// There the result is the first way through the automaton in priority order:
// a thread (a set of positions with its counters and captures, at one place of
// the input) has as successors the successors of its positions in ascending
// label order (END, the highest label, always last), each position's counter
// and capture alternatives in their order; successors of consecutive positions
// that consumed the same single element through nodes without steps are
// merged into one thread. The first thread in this order (a depth-first walk of
// the successor tree) that stands on END alone is the match.
//
// The walk memoises threads whose whole subtree holds no match (keyed by
// positions, counters, captures when back references can read them, and input
// place), so every thread state is expanded at most once per search, across
// all start positions; a successor that consumed nothing and repeats a thread
// state on the current path is dropped, so repetitions of empty-matching bodies
// end. The walk keeps its own stack; nothing recurses per input element.
//
// Dead ends of counted repetitions. Threads that differ only in their counters
// are different states, so a walk through x{m,n} expands up to n states per
// input place. For patterns with counted repetitions and no back references
// the walk asks, of each thread it would keep, whether the thread can reach
// END at all, and skips it when it cannot; a skipped thread's subtree holds no
// END thread, so the result is the one of the plain walk. Two tests, both by
// what the input holds:
//  - reachability of END from (input place, position) in the automaton with
//    every counter and capture step left out (the steps only narrow the
//    positions a thread goes on to), memoised per pair; the walk behind it
//    tries later positions first, so that a way out of a loop is seen before
//    the loop is followed along the input;
//  - for a thread standing inside a nest of counted repetitions over one set
//    of one-element positions (x{m,n}, (x{m,n}){p,q}, ... with x a character,
//    a class or an alternation of them), the input places where the nest can
//    be left follow from the counters and the run of elements the body
//    matches; the thread is a dead end when none of them leads on to END.
//    The places are read from the thread's on, only until one leads on;
//    stretches known to lead nowhere are skipped in one jump, so each start
//    position costs about one new place, whatever the bounds.
// The tests never cost more than the walk they may save: they spend from an
// allowance that each tested thread adds to (a share per position, what
// expanding it would at least read), and when it runs out the thread is kept
// and the reachability walk stands suspended until the next test carries it
// on. A match at hand is then found at the cost of the plain walk, however
// long the input the repetitions could consume; every table is paged by input
// place and made only where read.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/Fatal.h"
#include "regex/Automaton.h"
#include "regex/Compile.h"

namespace axf::regex {

// ---------------------------------------------------------------------------
// Counter and capture steps

// One counter of a counted repetition: kNotInRepetition (the thread is not
// inside the repetition), the number k >= 1 of the pass under way, or
// kMinimumReached (x{m,} has had its m passes; later passes are not counted).
using CounterValue = std::int64_t;
inline constexpr CounterValue kNotInRepetition = 0;
inline constexpr CounterValue kMinimumReached = -1;

// Indexed by interval label, 0..counterCount.
using CounterArray = std::vector<CounterValue>;

// What a named sub-expression captured: the input elements [start, end), open
// while the sub-expression may still grow.
struct Capture {
    bool open = true;
    std::size_t start = 0;
    std::size_t end = 0;
    bool operator==(const Capture&) const = default;
};

// Captures by sub-expression name (numbered per compiled pattern), in order of
// first insertion.
using CaptureMap = std::vector<std::pair<std::uint32_t, Capture>>;

// A capture step with its name numbered.
struct NumberedCaptureStep {
    enum class Kind : std::uint8_t { Add, Continue, End };
    Kind kind;
    std::uint32_t name;  // Add, End
    PosSet next;         // Continue
};

// The alternatives (counters, positions) that a position's counter steps give
// for the next set q, in priority order. Leaving a counted repetition sets its
// counter back to kNotInRepetition, so a repetition entered anew counts from 1.
// A continue step keeps only the positions of its set that the steps before it
// left in q: after an inner repetition was left, an enclosing one continues
// only where the inner one's exit leads. A pass beyond the maximum of x{0,0}
// gives no alternative.
std::vector<std::pair<CounterArray, PosSet>> applyCounterSteps(const std::vector<CounterStep>& steps, const CounterArray& c,
                                                               const PosSet& q);

// The alternatives (captures, positions) that a position's capture steps give,
// the position having consumed the input elements [from, to); the position
// sets are disjoint and together make up q.
std::vector<std::pair<CaptureMap, PosSet>> applyCaptureSteps(const std::vector<NumberedCaptureStep>& steps,
                                                             const CaptureMap& caps, std::size_t from, std::size_t to,
                                                             const PosSet& q);

// ---------------------------------------------------------------------------
// Result of a run, as input offsets

struct MatchSpans {
    std::size_t start = 0;  // the match is input[start, end)
    std::size_t end = 0;
    // Named sub-expressions the winning way recorded, in order of first
    // recording, each with its captured range.
    std::vector<std::pair<std::string, std::pair<std::size_t, std::size_t>>> subexps;
};

namespace detail {

struct PosSetHash {
    std::size_t operator()(const PosSet& s) const {
        std::size_t h = 1469598103934665603ull;
        for (Pos p : s) h = (h ^ std::size_t(std::uint32_t(p))) * 1099511628211ull;
        return h;
    }
};
struct CounterHash {
    std::size_t operator()(const CounterArray& c) const {
        std::size_t h = 1469598103934665603ull;
        for (CounterValue v : c) h = (h ^ std::size_t(v)) * 1099511628211ull;
        return h;
    }
};
struct CaptureMapHash {
    std::size_t operator()(const CaptureMap& m) const {
        std::size_t h = 1469598103934665603ull;
        for (const auto& [name, c] : m) {
            h = (h ^ name) * 1099511628211ull;
            h = (h ^ (c.open ? 1u : 2u)) * 1099511628211ull;
            h = (h ^ c.start) * 1099511628211ull;
            h = (h ^ c.end) * 1099511628211ull;
        }
        return h;
    }
};

// Values numbered on first sight; equal values share one number. References
// handed out stay valid while the table lives.
template <class T, class Hash>
class InternTable {
public:
    std::uint32_t intern(const T& v) {
        auto it = index_.find(v);
        if (it != index_.end()) return it->second;
        if (values_.size() >= 0xffffffffull) throw InternalError("InternTable: too many values");
        std::uint32_t id = std::uint32_t(values_.size());
        values_.push_back(v);
        index_.emplace(v, id);
        return id;
    }
    const T& get(std::uint32_t id) const { return values_[id]; }

private:
    std::deque<T> values_;
    std::unordered_map<T, std::uint32_t, Hash> index_;
};

// A set of thread states (input place, positions, counters, captures), open
// addressing with linear probing. Clearing is constant time: a slot belongs to
// the set only while it carries the current generation.
class StateSet {
public:
    bool empty() const { return count_ == 0; }

    bool contains(std::size_t off, std::uint32_t set, std::uint32_t cnt, std::uint32_t cap) const {
        if (slots_.empty()) return false;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash(off, set, cnt, cap) & mask;; i = (i + 1) & mask) {
            const Slot& s = slots_[i];
            if (s.gen != gen_) return false;
            if (s.off == off && s.set == set && s.cnt == cnt && s.cap == cap) return true;
        }
    }

    void insert(std::size_t off, std::uint32_t set, std::uint32_t cnt, std::uint32_t cap) {
        if (2 * (count_ + 1) > slots_.size()) grow();
        if (place(Slot{off, set, cnt, cap, gen_})) ++count_;
    }

    void clear() {
        count_ = 0;
        if (++gen_ == 0) {  // generations wrapped: forget every slot
            std::fill(slots_.begin(), slots_.end(), Slot{});
            gen_ = 1;
        }
    }

private:
    struct Slot {
        std::size_t off = 0;
        std::uint32_t set = 0, cnt = 0, cap = 0;
        std::uint32_t gen = 0;  // 0: never used
    };

    static std::size_t hash(std::size_t off, std::uint32_t set, std::uint32_t cnt, std::uint32_t cap) {
        auto mix = [](std::uint64_t h) {
            h = (h ^ (h >> 33)) * 0xFF51AFD7ED558CCDull;
            h = (h ^ (h >> 33)) * 0xC4CEB9FE1A85EC53ull;
            return h ^ (h >> 33);
        };
        return std::size_t(mix(mix((std::uint64_t(set) << 32) | cnt) ^ std::uint64_t(off) ^ (std::uint64_t(cap) << 40)));
    }

    // False when the state was there already.
    bool place(const Slot& v) {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash(v.off, v.set, v.cnt, v.cap) & mask;; i = (i + 1) & mask) {
            Slot& s = slots_[i];
            if (s.gen != gen_) {
                s = v;
                return true;
            }
            if (s.off == v.off && s.set == v.set && s.cnt == v.cnt && s.cap == v.cap) return false;
        }
    }

    void grow() {
        std::vector<Slot> old = std::move(slots_);
        slots_.assign(old.empty() ? 64 : 2 * old.size(), Slot{});
        const std::uint32_t g = gen_;
        gen_ = 1;
        for (const Slot& s : old)
            if (s.gen == g) place(Slot{s.off, s.set, s.cnt, s.cap, 1});
    }

    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    std::uint32_t gen_ = 1;
};

// Values by input place, `width` to a place, all zero until written. Pages
// are made when first touched, so a search pays only for the places it reads;
// references stay valid while the table lives.
template <class T>
class PagedPlaces {
public:
    explicit PagedPlaces(std::size_t width = 1) : width_(width) {}

    T& at(std::size_t off, std::size_t i) {
        const std::size_t page = off >> kPageBits;
        if (page != lastPage_) findPage(page);
        return lastData_[(off & ((std::size_t(1) << kPageBits) - 1)) * width_ + i];
    }

private:
    void findPage(std::size_t page) {
        if (page >= pages_.size()) pages_.resize(std::max(page + 1, 2 * pages_.size()));
        if (!pages_[page]) pages_[page] = std::make_unique<T[]>((std::size_t(1) << kPageBits) * width_);
        lastPage_ = page;
        lastData_ = pages_[page].get();
    }

    static constexpr std::size_t kPageBits = 6;
    std::size_t width_;
    std::vector<std::unique_ptr<T[]>> pages_;
    std::size_t lastPage_ = SIZE_MAX;  // the page read last, and its data
    T* lastData_ = nullptr;
};

}  // namespace detail

// How the runner treats threads that cannot reach END (see the head of this
// file): not at all (the plain walk), within what the walk itself spends,
// with the least allowance that still lets the tests go on (so that they
// stop and resume all the time), or with no limit on the tests.
enum class DeadEndPruning : std::uint8_t { Off, WithinWalkCost, Sparing, Unlimited };

// A compiled pattern prepared for running; it keeps the compiled pattern.
// A nest of counted repetitions that share one body: a set of positions each
// consuming exactly one element, each first and last in every level's body,
// carrying only the levels' start steps and their end steps (innermost
// first), every end step looping to the body and leaving for one exit set
// outside it.
struct CounterNest {
    struct Level {
        std::int32_t label;
        std::int64_t m;
        std::int64_t n;  // below 0: no maximum
    };
    PosSet body;
    PosSet exit;
    std::vector<Level> levels;
};

template <class E>
class Program {
public:
    // Pruning other than WithinWalkCost is for comparing walks.
    explicit Program(CompiledRegex<E> compiled, DeadEndPruning pruning = DeadEndPruning::WithinWalkCost)
        : compiled_(std::move(compiled)), pruning_(pruning) {
        const Pos n = compiled_.automaton.size();
        capSteps_.resize(std::size_t(n) + 1);
        backName_.assign(std::size_t(n) + 1, 0);
        std::unordered_map<std::string, std::uint32_t> ids;
        auto id = [&](const std::string& name) {
            auto [it, fresh] = ids.emplace(name, std::uint32_t(names_.size()));
            if (fresh) names_.push_back(name);
            return it->second;
        };
        for (Pos p = 1; p <= n; ++p) {
            const Node<E>& node = compiled_.automaton.at(p);
            if (const auto* back = std::get_if<NFABack<E>>(&node.elem)) {
                hasBackrefs_ = true;
                backName_[std::size_t(p)] = id(back->name);
            }
            for (const CaptureStep& step : node.captureSteps) {
                if (const auto* s = std::get_if<NFASubAdd>(&step))
                    capSteps_[std::size_t(p)].push_back(NumberedCaptureStep{NumberedCaptureStep::Kind::Add, id(s->name), {}});
                else if (const auto* s = std::get_if<NFASubContinue>(&step))
                    capSteps_[std::size_t(p)].push_back(NumberedCaptureStep{NumberedCaptureStep::Kind::Continue, 0, s->next});
                else
                    capSteps_[std::size_t(p)].push_back(
                        NumberedCaptureStep{NumberedCaptureStep::Kind::End, id(std::get<NFASubEnd>(step).name), {}});
            }
        }
        prunable_ = pruning_ != DeadEndPruning::Off && compiled_.counterCount > 0 && !hasBackrefs_;
        if (prunable_) findNests();
    }

    // The first match under the match policy, or absent.
    std::optional<MatchSpans> run(std::span<const E> input) const;

private:
    // The end step of a counted repetition as a nest level with its sets.
    struct EndStep {
        CounterNest::Level level;
        const PosSet* loop;
        const PosSet* exit;
    };
    static std::optional<EndStep> endStep(const CounterStep& step) {
        if (const auto* e = std::get_if<IntEnd>(&step)) return EndStep{{e->label, e->m, e->n}, &e->loop.get(), &e->exit.get()};
        if (const auto* e = std::get_if<NGIntEnd>(&step)) return EndStep{{e->label, e->m, e->n}, &e->loop.get(), &e->exit.get()};
        if (const auto* e = std::get_if<MinEnd>(&step)) return EndStep{{e->label, e->m, -1}, &e->loop.get(), &e->exit.get()};
        if (const auto* e = std::get_if<NGMinEnd>(&step)) return EndStep{{e->label, e->m, -1}, &e->loop.get(), &e->exit.get()};
        return std::nullopt;
    }

    // The levels of the nest that position p would belong to, or nothing when
    // p cannot belong to one.
    std::optional<std::vector<EndStep>> nestSteps(Pos p) const {
        const Node<E>& node = compiled_.automaton.at(p);
        const auto* el = std::get_if<NFAEl<E>>(&node.elem);
        if (!el || !consumesOneElement(el->matcher)) return std::nullopt;
        std::vector<EndStep> ends;
        for (const CounterStep& step : node.counterSteps) {
            if (std::holds_alternative<IntStart>(step)) {
                if (!ends.empty()) return std::nullopt;
                continue;
            }
            std::optional<EndStep> e = endStep(step);
            if (!e) return std::nullopt;
            ends.push_back(*e);
        }
        if (ends.empty()) return std::nullopt;
        return ends;
    }

    void findNests() {
        const Pos n = compiled_.automaton.size();
        nestOf_.assign(std::size_t(n) + 1, -1);
        // Positions carrying each label's end step.
        std::vector<PosSet> endsOf(std::size_t(compiled_.counterCount) + 1);
        for (Pos p = 1; p <= n; ++p)
            for (const CounterStep& step : compiled_.automaton.at(p).counterSteps)
                if (std::optional<EndStep> e = endStep(step)) {
                    if (e->level.label < 0 || e->level.label > compiled_.counterCount) return;
                    endsOf[std::size_t(e->level.label)].push_back(p);
                }
        std::vector<bool> seen(std::size_t(n) + 1, false);
        for (Pos p = 1; p <= n; ++p) {
            if (seen[std::size_t(p)]) continue;
            std::optional<std::vector<EndStep>> ends = nestSteps(p);
            if (!ends) continue;
            const PosSet& body = *ends->front().loop;
            const PosSet& exit = *ends->front().exit;
            bool ok = std::binary_search(body.begin(), body.end(), p) && posIntersect(body, exit).empty();
            for (const EndStep& e : *ends)
                ok = ok && *e.loop == body && *e.exit == exit && endsOf[std::size_t(e.level.label)] == body;
            for (Pos q : body) {
                if (!ok) break;
                seen[std::size_t(q)] = true;
                std::optional<std::vector<EndStep>> other = nestSteps(q);
                ok = other && other->size() == ends->size();
                for (std::size_t i = 0; ok && i < ends->size(); ++i) {
                    const EndStep& a = (*ends)[i];
                    const EndStep& b = (*other)[i];
                    ok = a.level.label == b.level.label && a.level.m == b.level.m && a.level.n == b.level.n && *b.loop == body &&
                         *b.exit == exit;
                }
            }
            if (!ok) continue;
            CounterNest nest{body, exit, {}};
            for (const EndStep& e : *ends) nest.levels.push_back(e.level);
            for (Pos q : body) nestOf_[std::size_t(q)] = std::int32_t(nests_.size());
            nests_.push_back(std::move(nest));
        }
    }

    CompiledRegex<E> compiled_;
    DeadEndPruning pruning_;
    bool prunable_ = false;  // pruning on, counted repetitions, no back references
    std::vector<CounterNest> nests_;
    std::vector<std::int32_t> nestOf_;  // by position: its nest, or -1
    bool hasBackrefs_ = false;
    std::vector<std::string> names_;                          // by name number
    std::vector<std::vector<NumberedCaptureStep>> capSteps_;  // by position
    std::vector<std::uint32_t> backName_;                     // by position, back references only

    template <class>
    friend class Search;
};

// The state of one search.
template <class E>
class Search {
public:
    Search(const Program<E>& prog, std::span<const E> input)
        : prog_(prog), nfa_(prog.compiled_.automaton), input_(input), reach_(std::size_t(nfa_.size())) {
        CounterArray zero(std::size_t(prog.compiled_.counterCount) + 1, kNotInRepetition);
        counters_.intern(zero);
        captures_.intern(CaptureMap{});
        finalSet_ = sets_.intern(PosSet{prog.compiled_.finalPosition});
        startSet_ = sets_.intern(prog.compiled_.startPositions);
        nextSet_.resize(std::size_t(nfa_.size()) + 1);
        for (Pos p = 1; p <= nfa_.size(); ++p) nextSet_[std::size_t(p)] = sets_.intern(nfa_.at(p).nexts);
        if (prog.prunable_) nestPlaces_.resize(prog.nests_.size());
    }

    std::optional<MatchSpans> run() {
        const std::size_t n = input_.size();
        for (std::size_t start = 0; start <= n; ++start) {
            // Threads of a later start never stand before it: once the start
            // has passed every settled thread, they are dropped.
            if (!dead_.empty() && start > maxDeadOff_) dead_.clear();
            if (auto win = fromStart(start)) return spans(start, *win);
            if (prog_.compiled_.anchored) break;
        }
        return std::nullopt;
    }

private:
    struct Thread {
        std::uint32_t set;
        std::uint32_t cnt;
        std::uint32_t cap;
        bool old;
        std::size_t off;
    };
    struct Frame {
        Thread t;
        std::size_t kidsBegin;
        std::size_t kidsEnd;
        std::size_t cursor;
    };

    const Program<E>& prog_;
    const NFA<E>& nfa_;
    std::span<const E> input_;
    detail::InternTable<PosSet, detail::PosSetHash> sets_;
    detail::InternTable<CounterArray, detail::CounterHash> counters_;
    detail::InternTable<CaptureMap, detail::CaptureMapHash> captures_;
    std::unordered_map<std::uint64_t, std::uint32_t> unions_;
    std::vector<std::uint32_t> nextSet_;
    std::uint32_t finalSet_ = 0;
    std::uint32_t startSet_ = 0;
    // Thread states known to lead to no match, and the furthest input place
    // among them.
    detail::StateSet dead_;
    std::size_t maxDeadOff_ = 0;
    // Walk state.
    std::vector<Frame> stack_;
    std::vector<Thread> kids_;
    std::vector<Thread> rev_;
    std::vector<Thread> succ_;

    std::uint32_t capKey(std::uint32_t cap) const { return prog_.hasBackrefs_ ? cap : 0; }

    bool isDead(const Thread& t) const { return !dead_.empty() && dead_.contains(t.off, t.set, t.cnt, capKey(t.cap)); }
    void markDead(const Thread& t) {
        if (dead_.empty() || t.off > maxDeadOff_) maxDeadOff_ = t.off;
        dead_.insert(t.off, t.set, t.cnt, capKey(t.cap));
    }

    // A successor that consumed nothing and repeats a thread of the current
    // path (at the same input place) is dropped.
    bool onPath(const Thread& t) const {
        for (auto it = stack_.rbegin(); it != stack_.rend() && it->t.off == t.off; ++it) {
            const Thread& a = it->t;
            if (a.set == t.set && a.cnt == t.cnt && a.cap == t.cap) return true;
        }
        return false;
    }

    std::uint32_t unionSets(std::uint32_t a, std::uint32_t b) {
        if (a == b) return a;
        std::uint64_t key = (std::uint64_t(a) << 32) | b;
        auto it = unions_.find(key);
        if (it != unions_.end()) return it->second;
        std::uint32_t id = sets_.intern(posUnion(sets_.get(a), sets_.get(b)));
        unions_.emplace(key, id);
        return id;
    }

    void pushFrame(const Thread& t) {
        std::size_t begin = kids_.size();
        stepThread(t);
        stack_.push_back(Frame{t, begin, kids_.size(), begin});
    }

    void popFrame() {
        kids_.resize(stack_.back().kidsBegin);
        stack_.pop_back();
    }

    // The winning thread from this start position, if any.
    std::optional<Thread> fromStart(std::size_t start) {
        Thread root{startSet_, 0, 0, true, start};
        if (root.set == finalSet_) return root;
        if (isDead(root) || deadEnd(root)) return std::nullopt;
        stack_.clear();
        kids_.clear();
        // A thread standing on END alone that wins as soon as the way it
        // waits behind has failed: the frame at fallbackHeight_ is that way.
        std::optional<Thread> fallback;
        std::size_t fallbackHeight = 0;
        pushFrame(root);
        while (!stack_.empty()) {
            Frame& f = stack_.back();
            if (f.cursor == f.kidsEnd) {
                markDead(f.t);
                popFrame();
                if (fallback && stack_.size() == fallbackHeight) return fallback;
                continue;
            }
            Thread k = kids_[f.cursor++];
            if (k.set == finalSet_) return k;
            if (isDead(k)) continue;
            const bool consumed = k.off != f.t.off;
            if (!consumed && onPath(k)) continue;
            // Tested only once nothing cheaper drops it.
            if (deadEnd(k)) continue;
            if (consumed && f.cursor == f.kidsEnd) {
                // The last way out of f consumed input: f leads to a match only
                // through k, so f is settled now and its frame can go.
                markDead(f.t);
                popFrame();
            } else if (consumed && kids_[f.cursor].set == finalSet_) {
                // Only an END thread follows k: it wins when k fails. A
                // fallback set deeper down wins before this one could.
                fallback = kids_[f.cursor];
                popFrame();
                fallbackHeight = stack_.size();
            }
            pushFrame(k);
        }
        return std::nullopt;
    }

    // Appends the successors of t to kids_, in priority order.
    void stepThread(const Thread& t) {
        rev_.clear();
        const PosSet& ps = sets_.get(t.set);
        for (auto it = ps.rbegin(); it != ps.rend(); ++it) {
            Pos p = *it;
            const Node<E>& node = nfa_.at(p);
            std::optional<std::size_t> took;
            if (const auto* el = std::get_if<NFAEl<E>>(&node.elem)) {
                took = el->matcher(input_, t.off);
            } else if (const auto* back = std::get_if<NFABack<E>>(&node.elem)) {
                const CaptureMap& caps = captures_.get(t.cap);
                const Capture* found = nullptr;
                const std::uint32_t wanted = prog_.backName_[std::size_t(p)];
                for (const auto& [name, c] : caps) {
                    if (name == wanted) {
                        found = &c;
                        break;
                    }
                }
                if (!found) continue;
                Matcher<E> m = back->builder(input_.subspan(found->start, found->end - found->start));
                took = m(input_, t.off);
            } else {
                took = 0;
            }
            if (!took) continue;
            if (*took > input_.size() - t.off) throw InternalError("execRegexp: matcher consumed beyond the input");
            succ_.clear();
            addSuccessors(p, node, t, *took);
            // Merge a lone single-element successor with the head of the list.
            if (succ_.size() == 1 && succ_[0].old && !rev_.empty() && rev_.back().old) {
                Thread& h = rev_.back();
                h.set = unionSets(succ_[0].set, h.set);
                h.cnt = t.cnt;
                h.cap = t.cap;
            } else {
                for (auto s = succ_.rbegin(); s != succ_.rend(); ++s) rev_.push_back(*s);
            }
        }
        kids_.insert(kids_.end(), rev_.rbegin(), rev_.rend());
    }

    // Puts in succ_ the successors of t through its position p, whose element
    // consumed `took` elements, in priority order.
    void addSuccessors(Pos p, const Node<E>& node, const Thread& t, std::size_t took) {
        const std::size_t off = t.off + took;
        const std::uint32_t next = nextSet_[std::size_t(p)];
        const std::vector<NumberedCaptureStep>& captureSteps = prog_.capSteps_[std::size_t(p)];
        if (node.counterSteps.empty() && captureSteps.empty()) {
            succ_.push_back(Thread{next, t.cnt, t.cap, took == 1, off});
            return;
        }
        std::vector<std::pair<std::uint32_t, std::uint32_t>> counterAlts;
        if (node.counterSteps.empty()) {
            counterAlts.emplace_back(t.cnt, next);
        } else {
            for (auto& [c, q] : applyCounterSteps(node.counterSteps, counters_.get(t.cnt), sets_.get(next))) {
                std::pair<std::uint32_t, std::uint32_t> alt{counters_.intern(c), sets_.intern(q)};
                bool seen = false;
                for (const auto& prev : counterAlts) seen = seen || prev == alt;
                if (!seen) counterAlts.push_back(alt);
            }
        }
        for (const auto& [cnt, set] : counterAlts) {
            if (captureSteps.empty()) {
                succ_.push_back(Thread{set, cnt, t.cap, false, off});
                continue;
            }
            for (auto& [caps, q] : applyCaptureSteps(captureSteps, captures_.get(t.cap), t.off, off, sets_.get(set)))
                succ_.push_back(Thread{sets_.intern(q), cnt, captures_.intern(caps), false, off});
        }
    }

    // ---------------------------------------------------------------------
    // Dead ends (see the head of this file)

    static constexpr std::int64_t kUnbounded = std::int64_t(1) << 60;
    // A reachability cell of (input place, position), and the exit cell of a
    // nest place: not yet known, END reachable, END not reachable, or (cells
    // only) on the walk under way.
    enum : std::uint8_t { kUnknown = 0, kReaches = 1, kNoWay = 2, kOpen = 3 };
    enum class Verdict : std::uint8_t { Leads, NoWay, Unknown };

    // What the tests may still spend (see the head of this file): a start,
    // and a share for each position of each thread tested.
    static constexpr std::int64_t kStartAllowance = 4096;
    static constexpr std::int64_t kAllowancePerPosition = 16;
    bool sparing() const { return prog_.pruning_ == DeadEndPruning::Sparing; }
    std::int64_t allowance_ = sparing() ? 0 : kStartAllowance;
    bool spend() {
        if (prog_.pruning_ == DeadEndPruning::Unlimited) return true;
        if (allowance_ <= 0) return false;
        --allowance_;
        return true;
    }

    // Reachability of END per (input place, position).
    detail::PagedPlaces<std::uint8_t> reach_;
    struct ReachFrame {
        std::size_t off;  // where the position's element ends
        Pos p;
        std::uint32_t next;  // how many of p's next positions were taken, from the last
        std::uint64_t index, low;
    };
    // The reachability walk under way; it may stand suspended between tests
    // when the allowance ran out, and the next test carries it on first.
    std::vector<ReachFrame> reachStack_;
    // Nodes of unfinished components, in the order they were opened; their
    // input places never decrease from bottom to top (a node stays open after
    // its frame only when a zero-width cycle leads back to a node of the walk,
    // at the same place).
    struct OpenNode {
        std::size_t off;
        Pos p;
        std::uint64_t index;
    };
    std::vector<OpenNode> reachOpen_;
    std::uint64_t reachCounter_ = 0;

    // What is known of each nest by input place: whether the body matches the
    // element there (kBodyUnknown, kBodyMatches or kBodyRefuses) and whether
    // the nest's exit leads on to END from there (kUnknown, kReaches or
    // kNoWay, as for reachability), and two chains of places that skip whole
    // known stretches: from a place, the first later place not known to match
    // the body, and the first later place not known to match the body with an
    // exit that leads nowhere (0: nothing known at the place). A fresh page
    // holds zeros: nothing known.
    enum : std::uint8_t { kBodyUnknown = 0, kBodyMatches = 1, kBodyRefuses = 2 };
    struct NestPlace {
        std::size_t bodySkip;
        std::size_t quietSkip;
        std::uint8_t body;
        std::uint8_t exit;
    };
    std::vector<detail::PagedPlaces<NestPlace>> nestPlaces_;
    std::vector<std::size_t> skipPath_;

    std::uint8_t& reachCell(std::size_t off, Pos p) { return reach_.at(off, std::size_t(p - 1)); }

    // Opens the node (off, p): kReaches or kNoWay when settled at once, else
    // kOpen with a frame pushed.
    std::uint8_t openReach(std::size_t off, Pos p) {
        std::uint8_t& cell = reachCell(off, p);
        const Node<E>& node = nfa_.at(p);
        const auto* el = std::get_if<NFAEl<E>>(&node.elem);
        if (!el) return cell = kReaches;  // END (no back references here)
        std::optional<std::size_t> took = el->matcher(input_, off);
        if (!took) return cell = kNoWay;
        if (*took > input_.size() - off) throw InternalError("execRegexp: matcher consumed beyond the input");
        const std::uint64_t index = reachCounter_++;
        reachOpen_.push_back(OpenNode{off, p, index});
        reachStack_.push_back(ReachFrame{off + *took, p, 0, index, index});
        return cell = kOpen;
    }

    void settleReaching() {
        for (const OpenNode& n : reachOpen_) reachCell(n.off, n.p) = kReaches;
        reachOpen_.clear();
        reachStack_.clear();
    }

    // Carries the reachability walk on until it ends (true) or the allowance
    // runs out (false, the walk suspended). Strongly connected components of
    // zero-width cycles are settled as a whole.
    bool carryReachOn() {
        while (!reachStack_.empty()) {
            if (!spend()) return false;
            ReachFrame& f = reachStack_.back();
            const PosSet& nexts = nfa_.at(f.p).nexts;
            if (f.next == nexts.size()) {
                const ReachFrame done = f;
                reachStack_.pop_back();
                if (done.low == done.index) {
                    for (;;) {
                        const OpenNode n = reachOpen_.back();
                        reachOpen_.pop_back();
                        reachCell(n.off, n.p) = kNoWay;
                        if (n.index == done.index) break;
                    }
                }
                if (!reachStack_.empty()) reachStack_.back().low = std::min(reachStack_.back().low, done.low);
                continue;
            }
            // Later positions first: a way out of a loop towards END is found
            // before the loop is followed along the input.
            const Pos q = nexts[nexts.size() - 1 - f.next++];
            const std::size_t to = f.off;
            const std::uint8_t qc = reachCell(to, q);
            if (qc == kReaches) {
                settleReaching();
                return true;
            }
            if (qc == kNoWay) continue;
            if (qc == kOpen) {
                auto n = reachOpen_.rbegin();
                while (n != reachOpen_.rend() && n->off == to && n->p != q) ++n;
                if (n == reachOpen_.rend() || n->off != to) throw InternalError("execRegexp: open node not found");
                f.low = std::min(f.low, n->index);
                continue;
            }
            if (openReach(to, q) == kReaches) {
                settleReaching();
                return true;
            }
        }
        return true;
    }

    // Whether a path of the step-free automaton leads from position p at
    // input place off to END.
    Verdict reaches(std::size_t off, Pos p) {
        auto known = [&]() -> std::optional<Verdict> {
            const std::uint8_t c = reachCell(off, p);
            if (c == kReaches) return Verdict::Leads;
            if (c == kNoWay) return Verdict::NoWay;
            return std::nullopt;
        };
        if (std::optional<Verdict> v = known()) return *v;
        if (!carryReachOn()) return Verdict::Unknown;  // (off, p) may be open in it
        if (std::optional<Verdict> v = known()) return *v;
        if (!spend()) return Verdict::Unknown;
        if (openReach(off, p) == kOpen && !carryReachOn()) return Verdict::Unknown;
        // A walk carried to its end has settled (off, p) one way or the other.
        if (std::optional<Verdict> v = known()) return *v;
        throw InternalError("Search::reaches: a finished walk left a place unsettled");
    }

    // The first place of [at, limit) not known (by the chain) to hold the
    // chain's property, or limit; the chain is shortened on the way.
    std::size_t skipKnown(detail::PagedPlaces<NestPlace>& places, std::size_t NestPlace::*chain, std::size_t at,
                          std::size_t limit) {
        skipPath_.clear();
        while (at < limit) {
            const std::size_t next = places.at(at, 0).*chain;
            if (next == 0) break;
            skipPath_.push_back(at);
            at = next;
        }
        if (skipPath_.size() > 1)
            for (std::size_t x : skipPath_) places.at(x, 0).*chain = at;
        return std::min(at, limit);
    }

    // Whether the nest's body matches the element at the place.
    std::optional<bool> bodyMatches(std::size_t nestIndex, std::size_t at) {
        std::uint8_t& known = nestPlaces_[nestIndex].at(at, 0).body;
        if (known == kBodyUnknown) {
            if (!spend()) return std::nullopt;
            known = kBodyRefuses;
            for (Pos p : prog_.nests_[nestIndex].body) {
                if (std::get<NFAEl<E>>(nfa_.at(p).elem).matcher(input_, at)) {
                    known = kBodyMatches;
                    break;
                }
            }
        }
        return known == kBodyMatches;
    }

    // Whether the nest's exit leads on to END from the place.
    Verdict exitLeads(std::size_t nestIndex, std::size_t at) {
        std::uint8_t& known = nestPlaces_[nestIndex].at(at, 0).exit;
        if (known == kReaches) return Verdict::Leads;
        if (known == kNoWay) return Verdict::NoWay;
        Verdict v = Verdict::NoWay;
        for (Pos q : prog_.nests_[nestIndex].exit) {
            const Verdict r = reaches(at, q);
            if (r == Verdict::Leads) {
                v = r;
                break;
            }
            if (r == Verdict::Unknown) v = r;
        }
        if (v != Verdict::Unknown) known = v == Verdict::Leads ? kReaches : kNoWay;
        return v;
    }

    static std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) { return std::min(kUnbounded, a + b); }
    static std::int64_t saturatingMul(std::int64_t a, std::int64_t b) {
        if (a == 0 || b == 0) return 0;
        return a > kUnbounded / b ? kUnbounded : std::min(kUnbounded, a * b);
    }

    // Whether the thread inside the nest cannot reach END: the number of
    // elements it consumes before it leaves the nest lies between jmin and
    // jmax, all matched by the body. Places are read from the thread's on,
    // only until an exit that leads on is found.
    Verdict nestDeadEnd(std::size_t nestIndex, const Thread& t) {
        const CounterNest& nest = prog_.nests_[nestIndex];
        const CounterArray& c = counters_.get(t.cnt);
        std::int64_t jmin = 0, jmax = 0, minPer = 1, maxPer = 1;
        for (std::size_t i = 0; i < nest.levels.size(); ++i) {
            const CounterNest::Level& l = nest.levels[i];
            CounterValue v = c.at(std::size_t(l.label));
            if (v == kNotInRepetition) v = 1;  // the level's start step comes first
            const bool bounded = l.n >= 0;
            if (v == kMinimumReached && bounded) return Verdict::Leads;  // not a state the steps make
            if (bounded && v > l.n) return Verdict::NoWay;               // no pass end of this level goes on
            const std::int64_t lacking = v == kMinimumReached ? 0 : std::max<std::int64_t>(0, l.m - v);
            const std::int64_t spare = bounded ? l.n - v : kUnbounded;
            if (i == 0) {
                // The current pass is the first of the elements.
                jmin = 1 + lacking;
                jmax = saturatingAdd(spare, 1);
            } else {
                jmin = saturatingAdd(jmin, saturatingMul(lacking, minPer));
                jmax =
                    spare == kUnbounded || maxPer == kUnbounded ? kUnbounded : saturatingAdd(jmax, saturatingMul(spare, maxPer));
            }
            minPer = saturatingMul(minPer, std::max<std::int64_t>(1, l.m));
            maxPer = bounded && maxPer != kUnbounded ? saturatingMul(maxPer, l.n) : kUnbounded;
        }
        const std::size_t rest = input_.size() - t.off;
        if (std::uint64_t(jmin) > rest) return Verdict::NoWay;
        const std::size_t first = t.off + std::size_t(jmin);
        const std::size_t last = t.off + std::size_t(std::min<std::uint64_t>(std::uint64_t(jmax), rest));
        detail::PagedPlaces<NestPlace>& places = nestPlaces_[nestIndex];
        // The body matches every element before the first exit place.
        for (std::size_t at = t.off;;) {
            at = skipKnown(places, &NestPlace::bodySkip, at, first);
            if (at == first) break;
            const std::optional<bool> body = bodyMatches(nestIndex, at);
            if (!body) return Verdict::Unknown;
            if (!*body) return Verdict::NoWay;
            places.at(at, 0).bodySkip = at + 1;
        }
        // An exit place that leads on, reached through body elements.
        for (std::size_t at = first;;) {
            at = skipKnown(places, &NestPlace::quietSkip, at, last);
            const Verdict exit = exitLeads(nestIndex, at);
            if (exit != Verdict::NoWay) return exit;
            if (at == last) return Verdict::NoWay;
            const std::optional<bool> body = bodyMatches(nestIndex, at);
            if (!body) return Verdict::Unknown;
            if (!*body) return Verdict::NoWay;
            NestPlace& place = places.at(at, 0);
            place.quietSkip = at + 1;
            place.bodySkip = std::max(place.bodySkip, at + 1);
        }
    }

    // Whether no way from the thread reaches END, as far as the allowance
    // lets the tests find out.
    bool deadEnd(const Thread& t) {
        if (prog_.pruning_ == DeadEndPruning::Off || !prog_.prunable_) return false;
        const PosSet& ps = sets_.get(t.set);
        if (ps.empty()) return false;
        // Expanding the thread would read each of its positions.
        allowance_ += (sparing() ? 1 : kAllowancePerPosition) * std::int64_t(ps.size());
        const std::int32_t nest = prog_.nestOf_[std::size_t(ps.front())];
        bool inNest = nest >= 0;
        for (Pos p : ps) inNest = inNest && prog_.nestOf_[std::size_t(p)] == nest;
        if (inNest) return nestDeadEnd(std::size_t(nest), t) == Verdict::NoWay;
        for (Pos p : ps)
            if (reaches(t.off, p) != Verdict::NoWay) return false;
        return true;
    }

    MatchSpans spans(std::size_t start, const Thread& win) const {
        MatchSpans out;
        out.start = start;
        out.end = win.off;
        for (const auto& [name, c] : captures_.get(win.cap))
            out.subexps.emplace_back(prog_.names_[name], std::make_pair(c.start, c.end));
        return out;
    }
};

template <class E>
std::optional<MatchSpans> Program<E>::run(std::span<const E> input) const {
    Search<E> search(*this, input);
    return search.run();
}

template <class E>
std::optional<MatchSpans> execRegexp(const CompiledRegex<E>& compiled, std::span<const E> input) {
    return Program<E>(compiled).run(input);
}

}  // namespace axf::regex
