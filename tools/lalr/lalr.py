#!/usr/bin/env python3
"""LALR(1) table generator.

Reads a grammar file and writes the parser table as C++ source (an
axf::filter::LRTable, see filter/LRTable.h). The generator knows nothing of
any particular grammar: symbols, productions and the way conflicts are
settled all come from the grammar file, and the conflict options can be
overridden on the command line.

Usage:
  python3 tools/lalr/lalr.py GRAMMAR [-o OUT.cpp] [--check OUT.cpp] [--report]
                            [--prefer shift|reduce] [--reduce-reduce earlier|later]
                            [--expect N]

  -o FILE        write the table source to FILE (default: standard output),
                 and the header to the grammar's %header path
  --check FILE   regenerate and compare with FILE (and with the %header
                 file); exit status 1 if either differs
  --report       print the table's figures and every conflict to stderr
  --prefer, --reduce-reduce, --expect
                 override the grammar file's %prefer, %reduce-reduce, %expect

Grammar file (one directive or production per line, '#' starts a comment):
  %name ID                    name of the generated LRTable object
  %namespace NS               C++ namespace of the object
  %include PATH               header that declares LRTable
  %header PATH                the header to generate beside the table: it
                              declares the table object and the enum of the
                              production names (optional)
  %production-enum ID         the name of that enum; every production is
                              then named (required with %header)
  %error N NAME               the error symbol and its number
  %nonterminals N A B ...     nonterminals, numbered N, N+1, ...
  %terminals N a "b" ...      terminals, numbered N, N+1, ...
  %end N NAME                 the end-of-input symbol and its number
  %start A                    the start symbol
  %accept-state N             give the accept state this number (optional)
  %left a b ... / %right a b ...
                              precedence levels, lowest first (optional); a
                              production takes the level of its last terminal
  %prec-of P a                give production number P the level of terminal a
  %prefer shift|reduce        unsettled shift/reduce conflicts (default shift)
  %reduce-reduce earlier|later
                              reduce/reduce conflicts: the production written
                              earlier or later wins (default earlier)
  %expect N                   fail unless exactly N states hold conflicts
                              settled by %prefer / %reduce-reduce (a state
                              counts once, on however many look-aheads)
  A -> X Y Z                  a production (an empty right side is allowed)
  Name: A -> X Y Z            a production and its name in the enum

Symbols are identifiers or double-quoted texts. The automaton is the LALR(1)
automaton of the grammar augmented by start' -> start; the start state is 0.
Every state whose actions, after the conflicts are settled, reduce by one
production only takes that reduction as its default action, for every symbol
without an entry; a state reducing by several productions takes the most
frequent one as default and keeps the others as entries; a state without a
reduction fails by default.
"""

import argparse
import sys
from collections import OrderedDict


class GrammarError(Exception):
    pass


def split_line(line, lineno):
    """Cuts a line into words; double-quoted texts are single words."""
    words = []
    i = 0
    n = len(line)
    while i < n:
        c = line[i]
        if c == '#':
            break
        if c.isspace():
            i += 1
            continue
        if c == '"':
            j = line.find('"', i + 1)
            if j < 0:
                raise GrammarError(f"line {lineno}: unterminated quoted symbol")
            words.append(line[i:j + 1])
            i = j + 1
            continue
        j = i
        while j < n and not line[j].isspace() and line[j] != '#':
            j += 1
        words.append(line[i:j])
        i = j
    return words


class Grammar:
    def __init__(self):
        self.options = {
            'name': 'lrTable', 'namespace': 'axf::filter', 'include': 'filter/LRTable.h',
            'prefer': 'shift', 'reduce-reduce': 'earlier', 'expect': None,
            'accept-state': None, 'header': None, 'production-enum': None,
        }
        self.number = {}        # symbol name -> number
        self.kind = {}          # symbol number -> 'error' | 'nonterminal' | 'terminal' | 'end'
        self.name = {}          # symbol number -> name
        self.start = None
        self.productions = []   # (lhs number, tuple of rhs numbers); index 0 = augmented
        self.production_names = []  # by production number; index 0 = augmented
        self.prec = {}          # terminal number -> (level, assoc)
        self.prec_levels = 0    # the %left / %right lines read so far
        self.prod_prec = {}     # production number -> level of a terminal name

    def declare(self, name, number, kind, lineno):
        if name in self.number:
            raise GrammarError(f"line {lineno}: symbol {name} declared twice")
        if number in self.kind:
            raise GrammarError(f"line {lineno}: symbol number {number} used twice")
        if number < 0 or number > 30000:
            raise GrammarError(f"line {lineno}: symbol number {number} out of range")
        self.number[name] = number
        self.kind[number] = kind
        self.name[number] = name

    def sym(self, name, lineno):
        if name not in self.number:
            raise GrammarError(f"line {lineno}: undeclared symbol {name}")
        return self.number[name]


def read_production(g, w, lineno):
    """Adds the production of a line (its words `w`), with its name if given."""
    name = None
    if w[0].endswith(':'):
        name = w[0][:-1]
        if not name.isidentifier() or name in g.production_names:
            raise GrammarError(f"line {lineno}: bad or repeated production name {name}")
        w = w[1:]
    if len(w) < 2 or w[1] != '->':
        raise GrammarError(f"line {lineno}: expected 'A -> ...'")
    lhs = g.sym(w[0], lineno)
    if g.kind[lhs] != 'nonterminal':
        raise GrammarError(f"line {lineno}: left side {w[0]} is not a non-terminal")
    rhs = tuple(g.sym(x, lineno) for x in w[2:])
    for s in rhs:
        if g.kind[s] not in ('nonterminal', 'terminal'):
            raise GrammarError(f"line {lineno}: {g.name[s]} cannot stand in a production")
    g.productions.append((lhs, rhs))
    g.production_names.append(name)


def read_directive(g, w, lineno, pending_prec):
    """Reads a directive line (its words `w`); %prec-of waits in `pending_prec`."""
    d = w[0]
    if d in ('%name', '%namespace', '%include', '%prefer', '%reduce-reduce', '%header', '%production-enum'):
        if len(w) != 2:
            raise GrammarError(f"line {lineno}: {d} takes one argument")
        g.options[d[1:]] = w[1]
    elif d in ('%expect', '%accept-state'):
        if len(w) != 2 or not w[1].isdigit():
            raise GrammarError(f"line {lineno}: {d} takes a number")
        g.options[d[1:]] = int(w[1])
    elif d in ('%error', '%end'):
        if len(w) != 3 or not w[1].isdigit():
            raise GrammarError(f"line {lineno}: {d} takes a number and a name")
        g.declare(w[2], int(w[1]), d[1:], lineno)
    elif d in ('%nonterminals', '%terminals'):
        if len(w) < 3 or not w[1].isdigit():
            raise GrammarError(f"line {lineno}: {d} takes a number and names")
        base = int(w[1])
        kind = 'nonterminal' if d == '%nonterminals' else 'terminal'
        for i, name in enumerate(w[2:]):
            g.declare(name, base + i, kind, lineno)
    elif d == '%start':
        if len(w) != 2:
            raise GrammarError(f"line {lineno}: %start takes one symbol")
        g.start = w[1]
    elif d in ('%left', '%right'):
        g.prec_levels += 1
        level = g.prec_levels
        for name in w[1:]:
            s = g.sym(name, lineno)
            if g.kind[s] != 'terminal':
                raise GrammarError(f"line {lineno}: precedence of a non-terminal {name}")
            g.prec[s] = (level, d[1:])
    elif d == '%prec-of':
        if len(w) != 3 or not w[1].isdigit():
            raise GrammarError(f"line {lineno}: %prec-of takes a production number and a terminal")
        pending_prec.append((int(w[1]), w[2], lineno))
    else:
        raise GrammarError(f"line {lineno}: unknown directive {d}")


def check_grammar(g, pending_prec):
    """Checks the whole grammar once read, and settles the %prec-of lines."""
    if g.start is None:
        raise GrammarError("no %start")
    if g.kind[g.sym(g.start, 0)] != 'nonterminal':
        raise GrammarError("the start symbol is not a non-terminal")
    if 'end' not in g.kind.values():
        raise GrammarError("no %end symbol")
    for p, name, lineno in pending_prec:
        s = g.sym(name, lineno)
        if s not in g.prec:
            raise GrammarError(f"line {lineno}: {name} has no precedence")
        if not 1 <= p <= len(g.productions):
            raise GrammarError(f"line {lineno}: no production {p}")
        g.prod_prec[p] = g.prec[s][0]
    defined = {lhs for lhs, _ in g.productions}
    for s, k in g.kind.items():
        if k == 'nonterminal' and s not in defined:
            raise GrammarError(f"non-terminal {g.name[s]} has no production")
    if g.options['prefer'] not in ('shift', 'reduce'):
        raise GrammarError("%prefer is shift or reduce")
    if g.options['reduce-reduce'] not in ('earlier', 'later'):
        raise GrammarError("%reduce-reduce is earlier or later")
    if (g.options['header'] is None) != (g.options['production-enum'] is None):
        raise GrammarError("%header and %production-enum go together")
    if g.options['production-enum'] is not None and None in g.production_names:
        raise GrammarError("with %production-enum every production is named")


def read_grammar(path):
    g = Grammar()
    pending_prec = []
    with open(path, encoding='utf-8') as f:
        lines = f.read().split('\n')
    for lineno, line in enumerate(lines, 1):
        w = split_line(line, lineno)
        if not w:
            continue
        if w[0].startswith('%'):
            read_directive(g, w, lineno, pending_prec)
        else:
            read_production(g, w, lineno)
    check_grammar(g, pending_prec)
    # Production 0 is the augmented start production; its left side is -1.
    g.productions.insert(0, (-1, (g.sym(g.start, 0),)))
    g.production_names.insert(0, None)
    return g


class Automaton:
    def __init__(self, g):
        self.g = g
        self.end = next(s for s, k in g.kind.items() if k == 'end')
        self.by_lhs = {}
        for i, (lhs, _) in enumerate(g.productions):
            self.by_lhs.setdefault(lhs, []).append(i)
        self.compute_first()
        self.build_lr0()
        self.compute_lookaheads()

    def is_nt(self, s):
        return self.g.kind.get(s) == 'nonterminal'

    def compute_first(self):
        g = self.g
        self.nullable = set()
        self.first = {s: set() for s, k in g.kind.items() if k == 'nonterminal'}
        changed = True
        while changed:
            changed = False
            for lhs, rhs in g.productions[1:]:
                before = (lhs in self.nullable, len(self.first[lhs]))
                all_null = True
                for s in rhs:
                    if self.is_nt(s):
                        self.first[lhs] |= self.first[s]
                        if s not in self.nullable:
                            all_null = False
                            break
                    else:
                        self.first[lhs].add(s)
                        all_null = False
                        break
                if all_null:
                    self.nullable.add(lhs)
                if (lhs in self.nullable, len(self.first[lhs])) != before:
                    changed = True

    def first_of(self, seq):
        """FIRST of a symbol sequence, and whether the sequence is nullable."""
        out = set()
        for s in seq:
            if self.is_nt(s):
                out |= self.first[s]
                if s not in self.nullable:
                    return out, False
            else:
                out.add(s)
                return out, False
        return out, True

    def closure0(self, kernel):
        items = list(kernel)
        seen = set(items)
        i = 0
        while i < len(items):
            p, d = items[i]
            i += 1
            rhs = self.g.productions[p][1]
            if d < len(rhs) and self.is_nt(rhs[d]):
                for q in self.by_lhs[rhs[d]]:
                    if (q, 0) not in seen:
                        seen.add((q, 0))
                        items.append((q, 0))
        return items

    def build_lr0(self):
        g = self.g
        start_kernel = ((0, 0),)
        self.kernels = [start_kernel]
        self.index = {start_kernel: 0}
        self.trans = []   # per state: OrderedDict symbol -> state
        i = 0
        while i < len(self.kernels):
            items = self.closure0(self.kernels[i])
            moves = OrderedDict()
            for p, d in items:
                rhs = g.productions[p][1]
                if d < len(rhs):
                    moves.setdefault(rhs[d], []).append((p, d + 1))
            tr = OrderedDict()
            # Successor states are numbered in the order of the symbols' numbers.
            for s in sorted(moves):
                k = tuple(sorted(set(moves[s])))
                if k not in self.index:
                    self.index[k] = len(self.kernels)
                    self.kernels.append(k)
                tr[s] = self.index[k]
            self.trans.append(tr)
            i += 1

    def closure1(self, items):
        """LR(1) closure: items maps (p, d) to a set of look-aheads."""
        g = self.g
        result = {k: set(v) for k, v in items.items()}
        work = list(result)
        while work:
            p, d = work.pop()
            rhs = g.productions[p][1]
            if d >= len(rhs) or not self.is_nt(rhs[d]):
                continue
            f, null = self.first_of(rhs[d + 1:])
            la = set(f)
            if null:
                la |= result[(p, d)]
            for q in self.by_lhs[rhs[d]]:
                cur = result.setdefault((q, 0), set())
                if not la <= cur:
                    cur |= la
                    work.append((q, 0))
        return result

    def compute_lookaheads(self):
        g = self.g
        DUMMY = -2
        la = [{k: set() for k in kern} for kern in self.kernels]
        la[0][(0, 0)].add(self.end)
        prop = {}
        for st, kern in enumerate(self.kernels):
            for item in kern:
                cl = self.closure1({item: {DUMMY}})
                for (p, d), lset in cl.items():
                    rhs = g.productions[p][1]
                    if d >= len(rhs):
                        continue
                    target = self.trans[st][rhs[d]]
                    titem = (p, d + 1)
                    for a in lset:
                        if a == DUMMY:
                            prop.setdefault((st, item), set()).add((target, titem))
                        else:
                            la[target][titem].add(a)
        changed = True
        while changed:
            changed = False
            for (st, item), targets in prop.items():
                src = la[st][item]
                for (t, titem) in targets:
                    dst = la[t][titem]
                    if not src <= dst:
                        dst |= src
                        changed = True
        # Look-aheads of every complete item, kernel or not.
        self.reductions = []  # per state: list of (production, look-ahead set)
        for st in range(len(self.kernels)):
            cl = self.closure1(la[st])
            reds = []
            for (p, d), lset in sorted(cl.items()):
                if d == len(g.productions[p][1]):
                    reds.append((p, lset))
            self.reductions.append(reds)


def build_table(g, a, prefer, rr, report):
    """Actions per state after settling the conflicts; returns rows, defaults, conflicts."""
    n = len(a.kernels)
    rows = []
    defaults = []
    conflicts = []   # (state, symbol, description)
    by_prec = 0

    def prod_level(p):
        if p in g.prod_prec:
            return g.prod_prec[p]
        for s in reversed(g.productions[p][1]):
            if s in g.prec:
                return g.prec[s][0]
        return None

    for st in range(n):
        row = {}
        for s, t in a.trans[st].items():
            row[s] = ('shift', t)
        reds = {}
        for p, lset in a.reductions[st]:
            for t in lset:
                reds.setdefault(t, []).append(p)
        for t in sorted(reds):
            ps = reds[t]
            if ps == [0]:
                row[t] = ('accept',)
                continue
            cands = sorted(ps)
            desc = []
            # Reduce/reduce first: one reduction remains.
            if len(cands) > 1:
                win = cands[-1] if rr == 'later' else cands[0]
                desc.append('reduce/reduce ' + ','.join(map(str, cands)) + f' -> {win}')
                cands = [win]
            p = cands[0]
            if t in row and row[t][0] == 'shift':
                lvl = prod_level(p)
                if lvl is not None and t in g.prec:
                    tl, assoc = g.prec[t]
                    by_prec += 1
                    if tl < lvl or (tl == lvl and assoc == 'left'):
                        row[t] = ('reduce', p)
                    if desc:
                        conflicts.append((st, t, '; '.join(desc)))
                    continue
                if prefer == 'shift':
                    desc.append(f'shift/reduce {p} -> shift')
                else:
                    desc.append(f'shift/reduce {p} -> reduce')
                    row[t] = ('reduce', p)
            else:
                row[t] = ('reduce', p)
            if desc:
                conflicts.append((st, t, '; '.join(desc)))
        # Default action.
        counts = {}
        for t, act in row.items():
            if act[0] == 'reduce':
                counts[act[1]] = counts.get(act[1], 0) + 1
        default = None
        if counts:
            default = max(sorted(counts), key=lambda p: counts[p])
            for t in [t for t, act in row.items() if act == ('reduce', default)]:
                del row[t]
        rows.append(row)
        defaults.append(default)
    return rows, defaults, conflicts, by_prec


def renumber(rows, defaults, a, target):
    """Swaps the accept state with state `target` (state 0 stays the start)."""
    n = len(rows)
    acc = a.trans[0][a.g.productions[0][1][0]]
    if target is None or target == acc:
        return rows, defaults, acc, list(range(n))
    if not 0 < target < n:
        raise GrammarError(f"%accept-state {target} out of range")
    perm = list(range(n))
    perm[acc], perm[target] = target, acc
    new_rows = [None] * n
    new_defaults = [None] * n
    for st in range(n):
        row = {}
        for s, act in rows[st].items():
            row[s] = ('shift', perm[act[1]]) if act[0] == 'shift' else act
        new_rows[perm[st]] = row
        new_defaults[perm[st]] = defaults[st]
    return new_rows, new_defaults, target, perm


def encode(act):
    if act[0] == 'shift':
        return act[1] + 1
    if act[0] == 'reduce':
        return -act[1]
    if act[0] == 'accept':
        return 32767
    return 0


def cpp_string(s):
    return '"' + s.replace('\\', '\\\\').replace('"', '\\"') + '"'


def production_text(g, p):
    lhs, rhs = g.productions[p]
    return f"{g.name[lhs]} -> {' '.join(g.name[s] for s in rhs)}".rstrip()


def emit_header(g, grammar_path, table_path):
    """The header beside the table: the table object and the production names."""
    ns = g.options['namespace']
    out = [
        f"// Generated by tools/lalr/lalr.py from {grammar_path}. Do not edit;",
        "// change the grammar and regenerate.",
        f"// The LALR(1) automaton of the grammar (its table in {table_path}) and",
        "// the names of its productions, by which the parser's reductions go.",
        "#pragma once",
        "",
        "#include <cstdint>",
        "",
        f'#include "{g.options["include"]}"',
        "",
        f"namespace {ns} {{",
        "",
        f"extern const LRTable {g.options['name']};",
        "",
        "// The productions by number (left side -> right side).",
        f"enum class {g.options['production-enum']} : std::int16_t {{",
    ]
    entries = [f"{g.production_names[p]} = {p}," for p in range(1, len(g.productions))]
    width = max(len(e) for e in entries)
    for p, entry in enumerate(entries, 1):
        out.append(f"    {entry.ljust(width)}  // {production_text(g, p)}")
    out += ["};", "", f"}}  // namespace {ns}"]
    return "\n".join(out) + "\n"


def summary_lines(g, rows, defaults, conflicts, grammar_path):
    """The opening comment of the table source: its figures and conflicts."""
    n = len(rows)
    nprod = len(g.productions) - 1
    nshift = sum(1 for r in rows for s, x in r.items() if x[0] == 'shift' and g.kind[s] != 'nonterminal')
    ngoto = sum(1 for r in rows for s, x in r.items() if x[0] == 'shift' and g.kind[s] == 'nonterminal')
    nred = sum(1 for d in defaults if d is not None)
    nonly = sum(1 for r, d in zip(rows, defaults) if d is not None and not r)
    out = [
        f"// Generated by tools/lalr/lalr.py from {grammar_path}. Do not edit;",
        "// change the grammar and regenerate.",
        f"// {n} states, {nprod} productions; {nshift} shift entries, {ngoto} goto entries;",
        f"// {nred} states reduce by default ({nonly} of them have no entry at all);",
        f"// conflicts settled in {len({c[0] for c in conflicts})} states:",
    ]
    for st, t, desc in conflicts:
        out.append(f"//   state {st} on {g.name[t]}: {desc}")
    return out


def int_array(name, size, values):
    """A C++ array of int16 values, 16 to a line."""
    out = [f"const std::int16_t {name}[{size}] = {{"]
    for i in range(0, len(values), 16):
        out.append("    " + ", ".join(map(str, values[i:i + 16])) + ",")
    return out + ["};", ""]


def state_arrays(g, rows, defaults):
    """The actions of every state, one row a state, and the default actions."""
    nsym = max(g.kind) + 1
    n = len(rows)
    out = [f"const std::int16_t kActions[{n} * {nsym}] = {{"]
    for st in range(n):
        vals = [encode(rows[st][s]) if s in rows[st] else 0 for s in range(nsym)]
        out.append("    " + ", ".join(str(v) for v in vals) + f",  // {st}")
    out += ["};", ""]
    return out + int_array("kDefaults", n, [-d if d is not None else 0 for d in defaults])


def symbol_arrays(g):
    """The kind and the name of every symbol number."""
    nsym = max(g.kind) + 1
    kinds = {'error': 'Error', 'nonterminal': 'Nonterminal', 'terminal': 'Terminal', 'end': 'End'}
    out = [f"const LRSymbolKind kSymbolKinds[{nsym}] = {{"]
    for s in range(nsym):
        out.append(f"    LRSymbolKind::{kinds.get(g.kind.get(s), 'Unused')},")
    out += ["};", "", f"const char* const kSymbolNames[{nsym}] = {{"]
    for s in range(nsym):
        out.append(f"    {cpp_string(g.name[s]) if s in g.name else 'nullptr'},")
    return out + ["};", ""]


def conflict_array(rows, defaults, conflicts):
    out = [f"const LRConflict kConflicts[{max(len(conflicts), 1)}] = {{"]
    for st, t, desc in conflicts:
        if t in rows[st]:
            chosen = encode(rows[st][t])
        else:
            chosen = -defaults[st] if defaults[st] is not None else 0
        out.append(f"    {{{st}, {t}, {chosen}, {cpp_string(desc)}}},")
    if not conflicts:
        out.append("    {0, 0, 0, nullptr},")
    return out + ["};", ""]


def emit(g, a, rows, defaults, acc, conflicts, grammar_path):
    nsym = max(g.kind) + 1
    nprod = len(g.productions) - 1
    err = next((s for s, k in g.kind.items() if k == 'error'), 0)
    ns = g.options['namespace']
    out = summary_lines(g, rows, defaults, conflicts, grammar_path)
    out += ["", f'#include "{g.options["include"]}"', "", f"namespace {ns} {{", "", "namespace {", ""]
    out.append("// Productions (number: left side -> right side):")
    for i in range(1, len(g.productions)):
        out.append(f"//   {i}: {production_text(g, i)}")
    out.append("")
    out += state_arrays(g, rows, defaults)
    out += int_array("kLhs", nprod + 1, [0] + [p[0] for p in g.productions[1:]])
    out += int_array("kLength", nprod + 1, [0] + [len(p[1]) for p in g.productions[1:]])
    out += symbol_arrays(g)
    out += conflict_array(rows, defaults, conflicts)
    out += [
        "}  // namespace",
        "",
        f"extern const LRTable {g.options['name']};",
        f"const LRTable {g.options['name']} = {{",
        f"    {len(rows)}, {nsym}, {nprod}, 0, {acc}, {err}, {a.end},",
        f"    kActions, kDefaults, kLhs, kLength, kSymbolKinds, kSymbolNames, kConflicts, {len(conflicts)},",
        "};",
        "",
        f"}}  // namespace {ns}",
    ]
    return "\n".join(out) + "\n"


def main(argv):
    ap = argparse.ArgumentParser(description="LALR(1) table generator")
    ap.add_argument('grammar')
    ap.add_argument('-o', dest='out')
    ap.add_argument('--check', dest='check')
    ap.add_argument('--report', action='store_true')
    ap.add_argument('--prefer', choices=['shift', 'reduce'])
    ap.add_argument('--reduce-reduce', dest='rr', choices=['earlier', 'later'])
    ap.add_argument('--expect', type=int)
    args = ap.parse_args(argv)
    try:
        g = read_grammar(args.grammar)
        prefer = args.prefer or g.options['prefer']
        rr = args.rr or g.options['reduce-reduce']
        expect = args.expect if args.expect is not None else g.options['expect']
        a = Automaton(g)
        rows, defaults, conflicts, by_prec = build_table(g, a, prefer, rr, args.report)
        rows, defaults, acc, perm = renumber(rows, defaults, a, g.options['accept-state'])
        conflicts = sorted((perm[st], t, desc) for st, t, desc in conflicts)
        # A conflict is counted once per state, whatever the number of
        # look-aheads it is met on.
        nconf = len({c[0] for c in conflicts})
        if args.report:
            n = len(rows)
            print(f"states: {n}", file=sys.stderr)
            print(f"states with conflicts settled by %prefer/%reduce-reduce: {nconf}", file=sys.stderr)
            print(f"look-aheads settled by precedence: {by_prec}", file=sys.stderr)
            for st, t, desc in conflicts:
                print(f"  state {st} on {g.name[t]}: {desc}", file=sys.stderr)
        if expect is not None and expect != nconf:
            raise GrammarError(f"expected {expect} conflicts, found {nconf}")
        text = emit(g, a, rows, defaults, acc, conflicts, args.grammar)
        outputs = [(args.check or args.out, text)]
        header = g.options['header']
        if header is not None:
            table_path = args.check or args.out or g.options['name'] + '.cpp'
            outputs.append((header, emit_header(g, args.grammar, table_path)))
        if args.check:
            differ = False
            for path, generated in outputs:
                with open(path, encoding='utf-8') as f:
                    if f.read() != generated:
                        print(f"lalr: {path} differs from the generated table", file=sys.stderr)
                        differ = True
            return 1 if differ else 0
        if args.out:
            for path, generated in outputs:
                with open(path, 'w', encoding='utf-8') as f:
                    f.write(generated)
        else:
            sys.stdout.write(text)
    except (GrammarError, OSError) as e:
        print(f"lalr: {e}", file=sys.stderr)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
