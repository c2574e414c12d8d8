#!/usr/bin/env bash
# Whole-program cases. Each folder under cases/ holds:
#   filter            the filter text (the program's one argument)
#   stdout            the expected standard output; the time difference line
#                     is checked by its shape and written there as TIMEDIFF
#   stderr            (optional) the expected standard error, exactly
#   status            (optional) the expected exit status, 0 when missing
#   any documents the filter names (the case runs inside its folder)
# Usage: run_e2e.sh path/to/axfilter [case ...]
# With case names, only those cases run (each says PASS or FAIL, with the
# differences from what it expects); without, every case and then the checks
# below that need no case folder.
set -u
if [ $# -lt 1 ] || [ ! -x "$1" ]; then
  echo "usage: tests/e2e/run_e2e.sh path/to/axfilter [case ...] (${1:-no binary given}: not an executable)" >&2; exit 2
fi
bin=$(realpath "$1"); shift
here=$(cd "$(dirname "$0")" && pwd)
cases=("$@")
only_named=0
if [ ${#cases[@]} -eq 0 ]; then
  for d in "$here"/cases/*/; do cases+=("$(basename "$d")"); done
else
  only_named=1
  for c in "${cases[@]}"; do
    if [ ! -f "$here/cases/$c/filter" ]; then
      echo "run_e2e.sh: no case '$c' in tests/e2e/cases (ls tests/e2e/cases lists them)" >&2; exit 2
    fi
  done
fi
timediff='^TimeDiff \{tdYear = 0, tdMonth = 0, tdDay = 0, tdHour = 0, tdMin = 0, tdSec = -?[0-9]+, tdPicosec = (0|-?[1-9][0-9]*000000000)\}$'
pass=0; fail=0
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
for c in "${cases[@]}"; do
  dir="$here/cases/$c"
  ( cd "$dir" && "$bin" "$(cat filter)" >"$tmp/out" 2>"$tmp/err" ); st=$?
  sed -E "s/$timediff/TIMEDIFF/" "$tmp/out" >"$tmp/out.n"
  ok=1
  want_status=0; [ -f "$dir/status" ] && want_status=$(cat "$dir/status")
  if [ "$st" != "$want_status" ]; then echo "FAIL $c: status $st, expected $want_status"; ok=0; fi
  if ! cmp -s "$tmp/out.n" "$dir/stdout"; then
    echo "FAIL $c: stdout differs (- expected, + got)"; diff -u "$dir/stdout" "$tmp/out.n" | tail -n +3 | head -40; ok=0
  fi
  if [ -f "$dir/stderr" ]; then
    if ! cmp -s "$tmp/err" "$dir/stderr"; then
      echo "FAIL $c: stderr differs (- expected, + got)"; diff -u "$dir/stderr" "$tmp/err" | tail -n +3 | head -20; ok=0
    fi
  elif [ -s "$tmp/err" ]; then echo "FAIL $c: unexpected stderr"; head -5 "$tmp/err"; ok=0; fi
  if [ $ok = 1 ]; then pass=$((pass+1)); [ $only_named = 1 ] && echo "PASS $c"; else fail=$((fail+1)); fi
done
if [ $only_named = 1 ]; then
  echo "e2e: $pass passed, $fail failed"
  [ $fail = 0 ]; exit
fi
# No argument: a short help on stderr, its first line the usage line, with an
# example and the pointer to the README; nothing on stdout, status 2.
"$bin" >"$tmp/out" 2>"$tmp/err"; st=$?
if [ $st = 2 ] && [ ! -s "$tmp/out" ] && [ "$(head -n 1 "$tmp/err")" = 'usage: axfilter FILTER' ] &&
   grep -q '^  axfilter "filter' "$tmp/err" && grep -q 'README\.md' "$tmp/err"; then pass=$((pass+1)); else echo "FAIL no-argument: status $st"; fail=$((fail+1)); fi
# -h and --help: the same text on stdout, status 0; --version: one line.
for opt in -h --help; do
  "$bin" "$opt" >"$tmp/out" 2>"$tmp/err"; st=$?
  if [ $st = 0 ] && [ ! -s "$tmp/err" ] && [ "$(head -n 1 "$tmp/out")" = 'usage: axfilter FILTER' ] &&
     grep -q 'README\.md' "$tmp/out"; then pass=$((pass+1)); else echo "FAIL $opt: status $st"; fail=$((fail+1)); fi
done
"$bin" --version >"$tmp/out" 2>"$tmp/err"; st=$?
if [ $st = 0 ] && [ ! -s "$tmp/err" ] && grep -Eqx 'axfilter [0-9]+\.[0-9]+\.[0-9]+' "$tmp/out"; then pass=$((pass+1))
else echo "FAIL --version: status $st"; fail=$((fail+1)); fi

# A document 100,000 levels deep, through an exact and an approximate statement.
n=100000
{ for ((i=0;i<n;i++)); do printf '<parlist>'; done; printf '<text>deep</text>'; for ((i=0;i<n;i++)); do printf '</parlist>'; done; echo; } >"$tmp/deep.xml"
for f in "filterAllExact parlist(text()) in file 'deep.xml'" "filterAllBest parlist(listitem(text())) in file 'deep.xml'"; do
  ( cd "$tmp" && "$bin" "$f" >"$tmp/out" 2>"$tmp/err" ); st=$?
  if [ $st = 0 ] && [ ! -s "$tmp/err" ] && grep -q '^Ricerca embedding, tempo impiegato:$' "$tmp/out"; then pass=$((pass+1)); else echo "FAIL deep document: $f: status $st"; head -3 "$tmp/err"; fail=$((fail+1)); fi
done

# check NAME WANT_STATUS WANT_STDERR: the last run's status and stderr (whole).
check() {
  if [ "$st" = "$2" ] && [ "$(cat "$tmp/err")" = "$3" ]; then pass=$((pass+1))
  else echo "FAIL $1: status $st, expected $2"; head -3 "$tmp/err"; fail=$((fail+1)); fi
}
example="filterAllBest people(person(name(), age())) in file 'examples/auction.xml'"
root=$(cd "$here/../.." && pwd)
( cd "$root" && "$bin" "$example" >"$tmp/example.out" 2>"$tmp/err" ); st=$?
check "example" 0 ""

# Output that cannot be written: a full device, a closed stdout, a pipe whose
# reader is gone (with SIGPIPE ignored, as a caller may have it).
( cd "$root" && "$bin" "$example" >/dev/full 2>"$tmp/err" ); st=$?
check "stdout on /dev/full" 1 "axfilter: write error: No space left on device"
( cd "$root" && "$bin" "$example" >&- 2>"$tmp/err" ); st=$?
check "stdout closed" 1 "axfilter: write error: Bad file descriptor"
{ printf '<people>'; for ((i=0;i<5000;i++)); do printf '<person><name>n%d</name></person>' $i; done; printf '</people>\n'; } >"$tmp/many.xml"
( cd "$tmp" && trap '' PIPE && "$bin" "filterAllExact person(name()) in file 'many.xml'" 2>"$tmp/err" | true; exit "${PIPESTATUS[0]}" ); st=$?
check "reader gone" 1 "axfilter: write error: Broken pipe"

# A document read from a pipe with a writer gives what the file gives.
mkfifo "$tmp/fifo.xml"
cat "$root/examples/auction.xml" >"$tmp/fifo.xml" & writer=$!
( cd "$tmp" && "$bin" "filterAllBest people(person(name(), age())) in file 'fifo.xml'" >"$tmp/out" 2>"$tmp/err" ); st=$?
kill "$writer" 2>/dev/null; wait "$writer" 2>/dev/null
if [ $st = 0 ] && [ ! -s "$tmp/err" ] && diff <(grep -v '^TimeDiff' "$tmp/example.out") <(grep -v '^TimeDiff' "$tmp/out") >/dev/null; then pass=$((pass+1))
else echo "FAIL document from a pipe: status $st"; head -3 "$tmp/err"; fail=$((fail+1)); fi

# Under an address-space limit the run takes a smaller stack, and the same
# output; with no room for any, it ends as out of memory. A binary that cannot
# even start under the limit (a sanitizer build reserves terabytes) skips this.
if ( ulimit -v 200000; "$bin" >/dev/null 2>&1; [ $? = 2 ] ) 2>/dev/null; then
  ( cd "$root" && ulimit -v 200000 && "$bin" "$example" >"$tmp/out" 2>"$tmp/err" ); st=$?
  if [ $st = 0 ] && [ ! -s "$tmp/err" ] && diff <(grep -v '^TimeDiff' "$tmp/example.out") <(grep -v '^TimeDiff' "$tmp/out") >/dev/null; then pass=$((pass+1))
  else echo "FAIL ulimit -v 200000: status $st"; head -3 "$tmp/err"; fail=$((fail+1)); fi
else
  echo "skip ulimit -v 200000: the binary cannot start under the limit"
fi
if ( ulimit -v 20000; "$bin" >/dev/null 2>&1; [ $? = 2 ] ) 2>/dev/null; then
  ( cd "$root" && ulimit -v 20000 && "$bin" "$example" >"$tmp/out" 2>"$tmp/err" ); st=$?
  check "ulimit -v 20000" 1 "out of memory"
else
  echo "skip ulimit -v 20000: the binary cannot start under the limit"
fi

echo "e2e: $pass passed, $fail failed"
[ $fail = 0 ]
