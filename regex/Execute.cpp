#include "regex/Execute.h"

namespace axf::regex {

namespace {

using CounterAlts = std::vector<std::pair<CounterArray, PosSet>>;

CounterValue& slot(CounterArray& c, std::int32_t label) {
    if (label < 0 || std::size_t(label) >= c.size()) throw InternalError("applyCounterSteps: counter label out of range");
    return c[std::size_t(label)];
}

void counterAlts(const std::vector<CounterStep>& steps, std::size_t i, CounterArray c, const PosSet& q, CounterAlts& out);

// The end of one pass through x{m,n} (greedy: another pass first).
void passEnd(const std::vector<CounterStep>& steps, std::size_t i, CounterArray c, std::int32_t label, CounterValue m,
             std::optional<CounterValue> n, const PosSet& loop, const PosSet& exit, bool greedy, CounterAlts& out) {
    CounterValue k = slot(c, label);
    if (k == kNotInRepetition) {
        throw InternalError(n ? "applyCounterSteps: kNotInRepetition at IntEnd"
                              : "applyCounterSteps: kNotInRepetition at MinEnd");
    }
    if (k == kMinimumReached && n) throw InternalError("applyCounterSteps: kMinimumReached at IntEnd");
    if (k != kMinimumReached && k < m) {
        slot(c, label) = k + 1;
        out.emplace_back(std::move(c), loop);
        return;
    }
    if (n && k > *n) return;  // a pass through x{0,0}: no way on
    bool mayLoop = !n || k < *n;
    CounterArray again = c;
    if (mayLoop) slot(again, label) = n ? k + 1 : kMinimumReached;
    slot(c, label) = kNotInRepetition;  // leaving: the repetition counts afresh when entered again
    if (mayLoop && greedy) out.emplace_back(again, loop);
    counterAlts(steps, i + 1, std::move(c), exit, out);
    if (mayLoop && !greedy) out.emplace_back(std::move(again), loop);
}

void counterAlts(const std::vector<CounterStep>& steps, std::size_t i, CounterArray c, const PosSet& q, CounterAlts& out) {
    if (i == steps.size()) {
        out.emplace_back(std::move(c), q);
        return;
    }
    const CounterStep& step = steps[i];
    if (const auto* s = std::get_if<IntStart>(&step)) {
        CounterValue& v = slot(c, s->label);
        if (v == kNotInRepetition) v = 1;
        counterAlts(steps, i + 1, std::move(c), q, out);
    } else if (const auto* s = std::get_if<IntContinue>(&step)) {
        out.emplace_back(c, posIntersect(q, s->next));
        counterAlts(steps, i + 1, std::move(c), q, out);
    } else if (const auto* s = std::get_if<NGIntContinue>(&step)) {
        CounterArray keep = c;
        counterAlts(steps, i + 1, std::move(c), q, out);
        out.emplace_back(std::move(keep), posIntersect(q, s->next));
    } else if (const auto* s = std::get_if<IntEnd>(&step)) {
        passEnd(steps, i, std::move(c), s->label, s->m, CounterValue(s->n), s->loop, s->exit, true, out);
    } else if (const auto* s = std::get_if<NGIntEnd>(&step)) {
        passEnd(steps, i, std::move(c), s->label, s->m, CounterValue(s->n), s->loop, s->exit, false, out);
    } else if (const auto* s = std::get_if<MinEnd>(&step)) {
        passEnd(steps, i, std::move(c), s->label, s->m, std::nullopt, s->loop, s->exit, true, out);
    } else if (const auto* s = std::get_if<NGMinEnd>(&step)) {
        passEnd(steps, i, std::move(c), s->label, s->m, std::nullopt, s->loop, s->exit, false, out);
    } else if (const auto* s = std::get_if<Reset>(&step)) {
        slot(c, s->label) = kNotInRepetition;
        counterAlts(steps, i + 1, std::move(c), q, out);
    } else {
        throw InternalError("applyCounterSteps: unknown step");
    }
}

using CaptureAlts = std::vector<std::pair<CaptureMap, PosSet>>;

// The combined capture when a position inside the sub-expression consumed
// `added` (always open). An open capture that already ends with `added` (an
// enclosing group of the same name added it at this position) is unchanged.
Capture extendCapture(const Capture& old, const Capture& added) {
    if (!added.open) throw InternalError("extendCapture: closed capture added");
    if (!old.open) return added;
    // Groups of one name nested in each other add at the same position: the
    // elements that position consumed enter the capture once.
    if (old.end == added.end && old.start <= added.start) return old;
    if (old.end != added.start) throw InternalError("extendCapture: capture does not continue");
    return Capture{true, old.start, added.end};
}

void captureAlts(const std::vector<NumberedCaptureStep>& steps, CaptureMap caps, std::size_t from, std::size_t to, PosSet q,
                 CaptureAlts& out) {
    for (const NumberedCaptureStep& step : steps) {
        switch (step.kind) {
            case NumberedCaptureStep::Kind::Add: {
                Capture added{true, from, to};
                bool found = false;
                for (auto& [name, c] : caps) {
                    if (name == step.name) {
                        c = extendCapture(c, added);
                        found = true;
                        break;
                    }
                }
                if (!found) caps.emplace_back(step.name, added);
                break;
            }
            case NumberedCaptureStep::Kind::Continue:
                out.emplace_back(caps, posIntersect(q, step.next));
                q = posMinus(q, step.next);
                break;
            case NumberedCaptureStep::Kind::End:
                for (auto& [name, c] : caps) {
                    if (name == step.name) {
                        c.open = false;
                        break;
                    }
                }
                break;
        }
    }
    out.emplace_back(std::move(caps), std::move(q));
}

}  // namespace

std::vector<std::pair<CounterArray, PosSet>> applyCounterSteps(const std::vector<CounterStep>& steps, const CounterArray& c,
                                                               const PosSet& q) {
    CounterAlts out;
    counterAlts(steps, 0, c, q, out);
    return out;
}

std::vector<std::pair<CaptureMap, PosSet>> applyCaptureSteps(const std::vector<NumberedCaptureStep>& steps,
                                                             const CaptureMap& caps, std::size_t from, std::size_t to,
                                                             const PosSet& q) {
    CaptureAlts out;
    captureAlts(steps, caps, from, to, q, out);
    return out;
}

}  // namespace axf::regex
