#!/usr/bin/env python3
"""Runs every `$ ` command of the README's examples and compares what it
prints with what the README shows below it.

An example is a line indented by four blanks that begins with `$ `; the
indented lines after it, up to the next such line or the end of the indented
block, are what it prints (standard output and standard error together, as a
terminal shows them). The commands run in order under bash in one scratch
folder that holds a copy of examples/ and docs/ (a file one example writes
is there for the next), with the folder of the given axfilter
first on the PATH. A `TimeDiff` line is compared by its shape, not its
figures.

Usage: tools/readme_examples.py path/to/axfilter [README.md]
Exit status 0 when every example prints what the README shows.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

TIMEDIFF = re.compile(
    r"^TimeDiff \{tdYear = 0, tdMonth = 0, tdDay = 0, tdHour = 0, tdMin = 0, "
    r"tdSec = -?[0-9]+, tdPicosec = (0|-?[1-9][0-9]*000000000)\}$")


def examples(readme_lines):
    """(line number, command, expected lines) for each example."""
    found = []
    current = None
    for number, line in enumerate(readme_lines, 1):
        indented = line.startswith("    ")
        if indented and line[4:].startswith("$ "):
            current = (number, line[6:], [])
            found.append(current)
        elif current is not None and indented:
            current[2].append(line[4:])
        elif current is not None and line.strip() == "":
            current[2].append("")  # a blank line inside a block is part of the output
        else:
            current = None
    # A block's trailing blank lines separate it from the prose.
    return [(n, c, trim(out)) for n, c, out in found]


def trim(lines):
    while lines and lines[-1] == "":
        lines.pop()
    return lines


def masked(lines):
    return ["TIMEDIFF" if TIMEDIFF.match(l) else l for l in lines]


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip().splitlines()[-2], file=sys.stderr)
        return 2
    binary = os.path.realpath(sys.argv[1])
    root = os.path.dirname(os.path.dirname(os.path.realpath(__file__)))
    readme = sys.argv[2] if len(sys.argv) > 2 else os.path.join(root, "README.md")
    with open(readme, encoding="utf-8") as f:
        lines = f.read().split("\n")
    cases = examples(lines)
    if not cases:
        print("readme_examples: no examples found in " + readme, file=sys.stderr)
        return 1
    env = dict(os.environ)
    env["PATH"] = os.path.dirname(binary) + os.pathsep + env.get("PATH", "")
    failed = 0
    with tempfile.TemporaryDirectory() as scratch:
        for folder in ("examples", "docs"):
            shutil.copytree(os.path.join(root, folder), os.path.join(scratch, folder))
        for number, command, want in cases:
            run = subprocess.run(["bash", "-c", command], cwd=scratch, env=env, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, timeout=120)
            got = trim(run.stdout.decode("latin-1").split("\n"))
            if masked(got) != masked(want):
                failed += 1
                print("FAIL README.md:%d: $ %s" % (number, command))
                for l in want:
                    print("  want| " + l)
                for l in got:
                    print("  got | " + l)
    print("readme examples: %d run, %d failed" % (len(cases), failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
