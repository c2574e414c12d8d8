// The table of an LR parser automaton, as written out by the table generator
// (tools/lalr). The filter language and the expression language of
// conditions each have one, checked in as generated source.
//
// Grammar symbols are numbered in one range 0..numSymbols-1 (numbers that
// name no symbol stay unused). For every state the table holds one entry per
// symbol; an entry that is 0 means "no entry", and the state's default action
// answers instead. Entries and defaults are encoded as:
//   s + 1 (positive)  shift to state s on a terminal, goto state s on a nonterminal
//   -p (negative)     reduce by production p (productions are numbered from 1)
//   kLRAccept         accept (on the end symbol, in the accept state only)
//   0                 no entry; as a default action: fail
#pragma once

#include <cstdint>
#include <vector>

namespace axf::filter {

inline constexpr std::int16_t kLRAccept = INT16_MAX;

enum class LRSymbolKind : std::uint8_t { Unused, Error, Nonterminal, Terminal, End };

// A look-ahead on which a state had more than one action before the
// generator settled it, and the action the state now takes on it (encoded as
// above, whether it is an entry or the state's default).
struct LRConflict {
    std::int16_t state;
    std::int16_t symbol;
    std::int16_t chosen;
    const char* settled;  // e.g. "reduce/reduce 42,48,54 -> 54"
};

struct LRTable {
    int numStates;
    int numSymbols;
    int numProductions;
    int startState;
    int acceptState;
    int errorSymbol;
    int endSymbol;
    const std::int16_t* actions;        // numStates rows of numSymbols entries
    const std::int16_t* defaults;       // one per state: 0 (fail) or -p (reduce p)
    const std::int16_t* productionLhs;  // by production number; index 0 unused
    const std::int16_t* productionLength;
    const LRSymbolKind* symbolKinds;  // by symbol number
    const char* const* symbolNames;   // by symbol number, for diagnostics
    const LRConflict* conflicts;      // the conflicts settled, by state
    int numConflicts;

    // The state's explicit entry for the symbol, else its default action.
    std::int16_t action(int state, int symbol) const {
        std::int16_t a = actions[state * numSymbols + symbol];
        return a != 0 ? a : defaults[state];
    }
    std::int16_t entry(int state, int symbol) const { return actions[state * numSymbols + symbol]; }

    // Adds to `out` the terminals (the end symbol included) on which the
    // state has an explicit action, each once: what the grammar expects
    // there, for the message of a parse that stops in that state.
    void addExpectedTerminals(int state, std::vector<int>& out) const {
        for (int s = 0; s < numSymbols; ++s) {
            LRSymbolKind k = symbolKinds[s];
            if ((k != LRSymbolKind::Terminal && k != LRSymbolKind::End) || entry(state, s) == 0) continue;
            bool seen = false;
            for (int o : out) seen = seen || o == s;
            if (!seen) out.push_back(s);
        }
    }
};

}  // namespace axf::filter
