#!/usr/bin/env python3
"""Random side-by-side comparison of two axfilter binaries on filters with
selectors (`tag[N](...)`, `tag[last](...)`, and selectors that do not read).

    selector_compare.py OLD NEW [--seed S] [--filters N] [--jobs J]
                        [--bench DOC ...] [--bench-filters M] [--keep DIR]

Each filter runs under both binaries in the same folder; standard output (the
time line masked), standard error and the exit status must be the same. The
filters are drawn from one seed: random query trees over a small tag set with
selectors at random nodes (the root included, now and then), `,`, `|` and `?`
lists and groups, variables, the four statements, `count` with and without a
bound, `(N)`, nested sources and top-level `and`/`or`/`xor`. They run over small
random documents of the same tags, and (--bench) over larger documents with
fewer filters. A run that does not end within the time limit or the memory
limit under the old binary is counted apart and not compared. Prints the figures and the first
differences; exit status 1 when any differs.
"""
import argparse
import concurrent.futures
import os
import random
import re
import resource
import subprocess
import sys
import tempfile

TAGS = ["site", "people", "person", "name", "age", "city", "open_auction", "bidder", "increase",
        "initial", "current", "description", "parlist", "listitem", "text", "phone", "profile"]
LEAF_TEXTS = ["Anna", "gold", "12", "Rome", "x"]
STATEMENTS = ["filterAllBest", "filterOneBest", "filterAllExact", "filterBestExact"]
SELECTORS = ["[1]", "[1]", "[2]", "[2]", "[3]", "[last]", "[last]", "[0]", "[x]", "[0x2]"]
TIMEDIFF = re.compile(rb"^TimeDiff \{.*\}$", re.M)


def random_document(rng, size):
    """A random element tree of about `size` elements over TAGS, as XML text."""
    out = []
    stack = []
    made = 0
    out.append("<site>")
    stack.append("site")
    while made < size or len(stack) > 1:
        if made < size and len(stack) < 7 and rng.random() < 0.55:
            tag = rng.choice(TAGS[1:])
            out.append("<%s>" % tag)
            stack.append(tag)
            made += 1
            if rng.random() < 0.3:
                out.append(rng.choice(LEAF_TEXTS))
        elif len(stack) > 1:
            out.append("</%s>" % stack.pop())
        else:
            tag = rng.choice(TAGS[1:])
            out.append("<%s>%s</%s>" % (tag, rng.choice(LEAF_TEXTS), tag))
            made += 1
    out.append("</site>")
    return "".join(out) + "\n"


class QueryMaker:
    def __init__(self, rng, selector_rate):
        self.rng = rng
        self.rate = selector_rate
        self.variables = iter("XYZWVU")

    def label(self, root):
        tag = self.rng.choice(TAGS)
        if self.rng.random() < (0.05 if root else self.rate):
            tag += self.rng.choice(SELECTORS)
        if not root and self.rng.random() < 0.1:
            tag = "$" + tag
        return tag

    def node(self, depth, root=False):
        r = self.rng.random()
        if not root and r < 0.05:
            return "'%s'" % self.rng.choice(LEAF_TEXTS)
        tag = self.label(root)
        if depth <= 0 or r < 0.3:
            if not root and self.rng.random() < 0.15:
                v = next(self.variables, None)
                if v:
                    return "%s(%s)" % (tag, v)
            return tag + "()"
        return "%s(%s)" % (tag, self.children(depth - 1, self.rng.choice([",", ",", "|", "?"])))

    def children(self, depth, sep):
        n = self.rng.choice([1, 1, 2, 2, 3])
        parts = [self.node(depth) for _ in range(n)]
        if n >= 2 and self.rng.random() < 0.2:  # one group of another kind, first in the list
            other = self.rng.choice([s for s in ",|?" if s != sep])
            parts[0] = "(%s)" % self.join([self.node(max(depth - 1, 0)) for _ in range(2)], other)
        return self.join(parts, sep)

    @staticmethod
    def join(parts, sep):
        return (" %s " % sep if sep != "," else ", ").join(parts)


def random_filter(rng, doc, selector_rate=0.3):
    qm = QueryMaker(rng, selector_rate)
    stmt = rng.choice(STATEMENTS)
    r = rng.random()
    if r < 0.15:
        op = rng.choice(["and", "or", "xor"])
        query = "%s(%s)" % (op, ", ".join(qm.node(rng.randint(1, 3), root=True) for _ in range(rng.randint(2, 3))))
    else:
        query = qm.node(rng.randint(1, 4), root=True)
    source = "file '%s'" % doc
    if rng.random() < 0.1:
        inner_q = QueryMaker(rng, selector_rate).node(rng.randint(1, 3), root=True)
        inner = "%s %s in file '%s'" % (rng.choice(STATEMENTS), inner_q, doc)
        if rng.random() < 0.3:
            inner = "count (%s)" % inner
        source = "(%s)" % inner
    f = "%s %s in %s" % (stmt, query, source)
    r = rng.random()
    if r < 0.12:
        f += " (N)"
    elif r < 0.17:
        f += " (P)"
    r = rng.random()
    if r < 0.2:
        f = "count (%s)" % f
    elif r < 0.3:
        f = "count %d (%s)" % (rng.randint(0, 4), f)
    return f


def run(binary, filt, cwd, timeout, mem_kb):
    def limit():
        resource.setrlimit(resource.RLIMIT_AS, (mem_kb * 1024, mem_kb * 1024))
    try:
        p = subprocess.run([binary, filt], cwd=cwd, capture_output=True, timeout=timeout, preexec_fn=limit)
    except subprocess.TimeoutExpired:
        return None
    return (TIMEDIFF.sub(b"TIMEDIFF", p.stdout), p.stderr, p.returncode)


def compare(job):
    old, new, filt, cwd, timeout, mem_kb = job
    a = run(old, filt, cwd, timeout, mem_kb)
    if a is None or a[1] == b"out of memory\n":
        return ("slow", filt, None, None)
    b = run(new, filt, cwd, timeout * 4, mem_kb)
    if a == b:
        return ("same", filt, a, b)
    return ("differ", filt, a, b)


def outcome_kind(res):
    out, err, status = res
    if b"son of the tag specified" in err:
        return "nth-son message"
    if b"query root" in err:
        return "root message"
    if status != 0:
        return "other failure"
    return "results"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--filters", type=int, default=3000)
    ap.add_argument("--documents", type=int, default=30)
    ap.add_argument("--jobs", type=int, default=4)
    ap.add_argument("--timeout", type=float, default=10)
    ap.add_argument("--mem-mb", type=int, default=3000)
    ap.add_argument("--bench", nargs="*", default=[])
    ap.add_argument("--bench-filters", type=int, default=60)
    ap.add_argument("--keep", default=None)
    args = ap.parse_args()
    old, new = os.path.realpath(args.old), os.path.realpath(args.new)
    rng = random.Random(args.seed)
    work = args.keep or tempfile.mkdtemp(prefix="selcmp.")
    os.makedirs(work, exist_ok=True)
    docs = []
    for i in range(args.documents):
        name = "d%d.xml" % i
        with open(os.path.join(work, name), "w") as f:
            f.write(random_document(rng, rng.randint(5, 60)))
        docs.append(name)
    jobs = [(old, new, random_filter(rng, rng.choice(docs)), work, args.timeout, args.mem_mb * 1024)
            for _ in range(args.filters)]
    for path in args.bench:
        bdir, bname = os.path.split(os.path.realpath(path))
        jobs += [(old, new, random_filter(rng, bname, 0.2), bdir, args.timeout, args.mem_mb * 1024)
                 for _ in range(args.bench_filters)]
    counts = {"same": 0, "differ": 0, "slow": 0}
    kinds = {}
    shown = 0
    with concurrent.futures.ThreadPoolExecutor(args.jobs) as ex:
        for verdict, filt, a, b in ex.map(compare, jobs):
            counts[verdict] += 1
            if verdict == "same":
                k = outcome_kind(a)
                kinds[k] = kinds.get(k, 0) + 1
            elif verdict == "differ" and shown < 10:
                shown += 1
                print("DIFFER: %s" % filt)
                for name, r in (("old", a), ("new", b)):
                    print("  %s: status %s, stderr %r, stdout %d bytes" % (name, r[2], r[1][:200], len(r[0])))
    print("filters: %d (%d over the bench documents); identical: %d; differing: %d; "
          "old binary past %g s or %d MB: %d"
          % (len(jobs), len(jobs) - args.filters, counts["same"], counts["differ"], args.timeout, args.mem_mb,
             counts["slow"]))
    print("identical outcomes by kind: " + ", ".join("%s %d" % kv for kv in sorted(kinds.items())))
    return 1 if counts["differ"] else 0


if __name__ == "__main__":
    sys.exit(main())
