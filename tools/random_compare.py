#!/usr/bin/env python3
"""Runs random filters through two axfilter binaries and compares them.

    tools/random_compare.py OLD NEW [--filters N] [--seed S] [--jobs J]
                            [--timeout SEC] [--show K] [--conditions P]

Each filter is run by both binaries on small generated auction documents
(and the example document); standard output (with the search's time line
masked), standard error and exit status must be the same. A filter that the
old binary cannot finish within the timeout (or the memory limit) is counted
as skipped, not compared, and so is one that the old binary ends with
"out of memory". The filters cover the four statements, counts with
and without a bound, negation, conditions, variables, `,`/`|`/`?` lists and
top-level and/or/xor groups nested in every operand order.

Prints the numbers of filters run, equal, different and skipped, and the
first K differences; exits with status 1 when any differ.
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

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TIME_LINE = re.compile(rb"^TimeDiff \{.*\}$", re.M)

TAGS = ["site", "people", "person", "name", "age", "city", "item", "location", "payment", "open_auction",
        "initial", "current", "bidder", "itemref", "description", "profile", "emailaddress", "phone",
        "regions", "europe", "text", "interest", "closed_auction", "seller", "address", "creditcard"]
CHILDREN = {
    "site": ["people", "regions", "open_auction", "person", "item", "closed_auction"],
    "people": ["person"],
    "person": ["name", "age", "city", "emailaddress", "phone", "profile", "address", "creditcard"],
    "profile": ["age", "interest", "city"],
    "address": ["city"],
    "item": ["name", "location", "payment", "description"],
    "regions": ["europe", "item"],
    "europe": ["item"],
    "open_auction": ["initial", "current", "bidder", "itemref", "seller"],
    "closed_auction": ["seller", "itemref", "price"],
    "description": ["text"],
}
VARIABLES = ["X", "Y", "Z"]


def simple_query(rng, depth, variables):
    """A query tree of a few levels; variables are put on leaves."""
    tag = rng.choice(TAGS) if depth == 0 or rng.random() < 0.3 else rng.choice(TAGS)
    return node(rng, tag, depth, variables)


def node(rng, tag, depth, variables):
    name = ("$" if rng.random() < 0.1 else "") + tag
    if depth > 0 and rng.random() < 0.03:
        name += rng.choice(["[1]", "[2]", "[last]"])
    kids = CHILDREN.get(tag, [])
    if depth >= 2 or not kids or rng.random() < 0.35:
        if variables and rng.random() < 0.4:
            v = rng.choice(VARIABLES)
            variables.add(v)
            return "%s(%s)" % (name, v)
        return name + "()"
    n = rng.choice([1, 1, 2, 2, 3])
    parts = [node(rng, rng.choice(kids + TAGS[:3]) if rng.random() < 0.2 else rng.choice(kids), depth + 1,
                  variables) for _ in range(n)]
    if n >= 2 and rng.random() < 0.5:
        sep = rng.choice([" | ", " ? "])
        if n >= 3 and rng.random() < 0.5:
            # A group of the other kind (an `and` group: a list of `,`) at
            # any place in a list of three or more.
            group = "(%s)" % ", ".join(parts[:2])
            rest = parts[2:] + [node(rng, rng.choice(kids), depth + 1, variables)
                                for _ in range(rng.choice([0, 1, 2]))]
            rest.insert(rng.randrange(len(rest) + 1), group)
            return "%s(%s)" % (name, sep.join(rest))
        return "%s(%s)" % (name, sep.join(parts))
    return "%s(%s)" % (name, ", ".join(parts))


def query(rng, depth, variables):
    """A whole query: a simple one, or an and/or/xor group of queries."""
    if depth < 2 and rng.random() < (0.75 if depth == 0 else 0.3):
        op = rng.choice(["and", "or", "or", "xor"])
        n = rng.choice([2, 2, 3, 3, 4])
        return "%s(%s)" % (op, ", ".join(query(rng, depth + 1, variables) for _ in range(n)))
    return simple_query(rng, 0, variables)


def condition(rng, variables):
    v = rng.choice(sorted(variables))
    return rng.choice([
        "&%s match [A-M].*&" % v,
        "&%s match .*a.*&" % v,
        "&%s > 20&" % v,
        "&%s = %s&" % (v, rng.choice(sorted(variables))),
        "&%s match .*&" % v,
    ])


def random_filter(rng, doc, condition_share=0.3):
    variables = set()
    q = query(rng, 0, variables)
    statement = rng.choice(["filterAllBest", "filterOneBest", "filterAllExact", "filterBestExact"])
    f = "%s %s in file '%s'" % (statement, q, doc)
    if variables and rng.random() < condition_share:
        f += " where " + ", ".join(condition(rng, variables) for _ in range(rng.choice([1, 1, 2])))
    r = rng.random()
    if r < 0.1:
        f += " (N)"
    elif r < 0.15:
        f += " (P)"
    if rng.random() < 0.05:
        # The result of a filter as the document of another.
        outer = rng.choice(["ResultQuery(name())", "name()", "person(name(X))", "item()"])
        f = "%s %s in (%s)" % (rng.choice(["filterAllBest", "filterAllExact"]), outer, f)
    r = rng.random()
    if r < 0.25:
        f = "count (%s)" % f
    elif r < 0.45:
        f = "count %d (%s)" % (rng.choice([0, 1, 2, 3, 5, 8]), f)
    return f


def limit_memory():
    resource.setrlimit(resource.RLIMIT_AS, (3 << 30, 3 << 30))


def run(binary, f, cwd, timeout):
    try:
        p = subprocess.run([binary, f], cwd=cwd, capture_output=True, timeout=timeout, preexec_fn=limit_memory)
    except subprocess.TimeoutExpired:
        return None
    return TIME_LINE.sub(b"TIMEDIFF", p.stdout), p.stderr, p.returncode


def make_documents(folder):
    docs = []
    for size in ("0.004", "0.01", "0.02"):
        name = "auction_%s.xml" % size
        with open(os.path.join(folder, name), "wb") as out:
            subprocess.run([sys.executable, os.path.join(ROOT, "bench", "gen_auction.py"), size], stdout=out,
                           check=True)
        docs.append(name)
    with open(os.path.join(ROOT, "examples", "auction.xml"), "rb") as src, \
            open(os.path.join(folder, "example.xml"), "wb") as out:
        out.write(src.read())
    docs.append("example.xml")
    return docs


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--filters", type=int, default=2000)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--jobs", type=int, default=4)
    ap.add_argument("--timeout", type=float, default=20)
    ap.add_argument("--show", type=int, default=5)
    ap.add_argument("--conditions", type=float, default=0.3,
                    help="share of the filters with variables that get conditions")
    a = ap.parse_args()
    old, new = os.path.abspath(a.old), os.path.abspath(a.new)
    rng = random.Random(a.seed)
    with tempfile.TemporaryDirectory() as folder:
        docs = make_documents(folder)
        filters = [random_filter(rng, rng.choice(docs), a.conditions) for _ in range(a.filters)]

        def compare(f):
            o = run(old, f, folder, a.timeout)
            if o is None:
                return "skipped", f, None, None
            n = run(new, f, folder, a.timeout * 3)
            if o[1] == b"out of memory\n" and o[2] != 0:
                # The old binary could not hold the result: nothing to compare.
                return "old out of memory", f, o, n
            return ("equal" if o == n else "different"), f, o, n

        tally = {"equal": 0, "different": 0, "skipped": 0, "old out of memory": 0}
        shown = 0
        with concurrent.futures.ThreadPoolExecutor(a.jobs) as pool:
            for verdict, f, o, n in pool.map(compare, filters):
                tally[verdict] += 1
                if verdict == "different" and shown < a.show:
                    shown += 1
                    print("DIFFERENT:", f)
                    for label, r in (("old", o), ("new", n)):
                        if r is None:
                            print("  %s: timed out" % label)
                        else:
                            print("  %s: status %d, stdout %r..., stderr %r" % (label, r[2], r[0][:300], r[1][:300]))
        statuses = " ".join("%s %d" % kv for kv in tally.items())
        print("filters %d: %s" % (len(filters), statuses))
        return 1 if tally["different"] else 0


if __name__ == "__main__":
    sys.exit(main())
