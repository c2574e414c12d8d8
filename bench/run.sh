#!/usr/bin/env bash
# Whole-program benchmark: builds axfilter in Release, generates auction
# documents of 1, 10 and 100 MB, runs the fixed filter set on each and prints
# a Markdown table of wall time and peak resident memory per filter and size,
# with xmllint --xpath on the equivalent XPath beside the exact queries.
#
#   bench/run.sh [SIZE_MB ...]        (default: 1 10 100)
#   bench/run.sh fixed                (the fixed documents alone)
#
# Environment:
#   BENCH_DIR   where documents and outputs go (default /tmp/axbench)
#   BUILD_DIR   the Release build folder (default build)
#   OUT_DIR     where the outputs go (default BENCH_DIR/out)
#   RUNS        runs per measurement, the fastest kept (default 3 below
#               100 MB, 1 from 100 MB up)
#   MEM_LIMIT_MB address-space limit of each run (default 8192): a run that
#               needs more fails instead of taking the machine's memory
#   TIME_LIMIT  seconds after which a run is stopped (default 900)
#   BIN         an axfilter binary to measure instead of building one (for
#               the outputs of another build)
#
# Besides the auction documents of each size, a few fixed documents are made
# once (deep chains of one element name, and the small example document) for
# the query shapes whose size is their depth or width; they are measured once
# and listed in a table of their own. Every row gives peak resident memory
# per byte of the document (peak RSS bytes / document bytes) beside the time.
#
# Beside each figure stands the run's time over the floor of the machine
# for it (bench/MemoryFloor.cpp, the fastest of three rounds right after the
# run): reading the document plus first-touching as many bytes as the run's
# peak memory on huge pages. No run that reads the document and holds that
# much can be faster.
#
# Every run's standard output is kept in OUT_DIR/SIZE/NAME.out with the
# time line of the search replaced by TIMEDIFF, so that outputs of two builds
# can be compared with diff -r.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
work=${BENCH_DIR:-/tmp/axbench}
build=${BUILD_DIR:-$root/build}
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1 10 100)
[ "${sizes[0]}" = fixed ] && sizes=()  # bench/run.sh fixed: the fixed documents alone

need() {  # need COMMAND PACKAGE: install PACKAGE with apt-get when COMMAND is missing
  if ! command -v "$1" >/dev/null 2>&1; then
    echo "installing $2" >&2
    if [ -z "${apt_updated:-}" ]; then apt-get update -qq >&2; apt_updated=1; fi
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$2" >&2
  fi
}
need xmllint libxml2-utils
[ -x /usr/bin/time ] || need /usr/bin/time time
need python3 python3

if [ -n "${BIN:-}" ]; then
  bin=$(realpath "$BIN")
else
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  jobs=$(nproc); [ "$jobs" -gt 4 ] && jobs=4
  cmake --build "$build" -j"$jobs" --target axfilter >/dev/null
  bin=$(realpath "$build/axfilter")
fi

mkdir -p "$work"

# The floor program, built from this tree whatever binary is measured.
floor_bin=$work/memory_floor
if [ ! -x "$floor_bin" ] || [ "$root/bench/MemoryFloor.cpp" -nt "$floor_bin" ] || [ "$root/common/PageMemory.cpp" -nt "$floor_bin" ]; then
  c++ -O2 -std=c++20 -I"$root" "$root/bench/MemoryFloor.cpp" "$root/common/PageMemory.cpp" -o "$floor_bin"
fi

out_dir=${OUT_DIR:-$work/out}
mem_limit=${MEM_LIMIT_MB:-8192}
time_limit=${TIME_LIMIT:-900}

cd "$work"

# name | filter (DOC stands for the document file, BAR for the filter's "|") |
# equivalent XPath or empty
filters=(
  "exact|filterAllExact person(name(X)) in file 'DOC'|//person/name"
  "all|filterAllBest person(name(X)) in file 'DOC'|"
  "one|filterOneBest person(name(X)) in file 'DOC'|"
  "approx3|filterAllBest people(person(age(), city())) in file 'DOC'|"
  "or|filterAllBest or(person(age()), item(location())) in file 'DOC'|"
  "regex|filterAllBest person(name(X)) in file 'DOC' where &X match [A-J].*&|"
  "expr|filterAllBest open_auction(initial(X), current(Y)) in file 'DOC' where &Y > X + 100&|"
  "count|count (filterAllExact item(name()) in file 'DOC')|count(//item/name)"
  "negated|filterAllBest person(creditcard()) in file 'DOC' (N)|"
  # An `and` group under an `or` in mode all, written first and last.
  "andfirst|filterAllBest people((person(name()), person(age()), person(city())) BAR person(phone())) in file 'DOC'|"
  "andlast|filterAllBest people(person(phone()) BAR (person(name()), person(age()), person(city()))) in file 'DOC'|"
  # A top-level `or` whose two tied operands come first, and last.
  "tiedfirst|filterAllBest or(site(person(name())), site(person(name())), people(person(name()))) in file 'DOC'|"
  "tiedlast|filterAllBest or(people(person(name())), site(person(name())), site(person(name()))) in file 'DOC'|"
  # A variable bound to one large subtree that every result shares.
  "bigvar|filterAllExact site(regions(X), person()) in file 'DOC'|"
  # Children that no parent match can hold: counted, and through the
  # deletion alternatives of an approximate statement.
  "nowhere|count (filterAllExact person(site(item(), item())) in file 'DOC')|"
  "nowhere3|filterAllBest interest(parlist(closed_auctions(itemref(), asta_chiusa(), description()))) in file 'DOC'|"
  # The same through a selector, which keeps both shortcuts of the search.
  "selector|count (filterAllExact open_auction(site(bidder(), bidder()), initial[1]()) in file 'DOC')|"
  # Products of whole queries that can never be the result of the `or`
  # around them (a cheaper operand), in every place, and under a nested `or`.
  "prodnever|count (filterAllBest or(and(person(), item(age())), site()) in file 'DOC')|"
  "prodnever2|count (filterAllBest or(site(), and(item(age()), person())) in file 'DOC')|"
  "prodnever3|count (filterAllBest or(site(), or(item(location()), and(person(), item(age())))) in file 'DOC')|"
  # Products counted: every pair, and the pairs within a bound.
  "prodcount|count (filterAllExact and(person(), item()) in file 'DOC')|"
  "prodcount2|count (filterAllExact and(item(), person()) in file 'DOC')|"
  "prodbound|count 2 (filterAllBest and(person(name()), item(payment())) in file 'DOC')|"
  "prodbound2|count 2 (filterAllBest and(item(payment()), person(name())) in file 'DOC')|"
  # A product printed (1.9 MB of output at 1 MB, 159 MB at 10 MB).
  "prodprint|filterAllBest and(africa(item(name())), asia(item(name()))) in file 'DOC'|"
  "prodprint2|filterAllBest and(asia(item(name())), africa(item(name()))) in file 'DOC'|"
  # An `and` group in a list of three whose second operand is dearer and
  # whose third is cheaper, in each place.
  "bound3first|count (filterAllBest people((person(name()), person(open_auction())) BAR person(open_auction(), open_auction()) BAR person()) in file 'DOC')|"
  "bound3mid|count (filterAllBest people(person(open_auction(), open_auction()) BAR (person(name()), person(open_auction())) BAR person()) in file 'DOC')|"
  "bound3last|count (filterAllBest people(person(open_auction(), open_auction()) BAR person() BAR (person(name()), person(open_auction()))) in file 'DOC')|"
  # Conditions over a product, each over the variables of one of its
  # queries: checked on that query's matches, never on every pair; counted
  # in both operand orders, over an `and` of three, and printed.
  "prodcond|count (filterAllBest and(person(name(X)), item(name())) in file 'DOC' where &X match [A-J].*&)|"
  "prodcond2|count (filterAllBest and(item(name()), person(name(X))) in file 'DOC' where &X match [A-J].*&)|"
  "prodcond3|count (filterAllExact and(person(name()), item(name()), item(location(Y))) in file 'DOC' where &Y match .*a.*&)|"
  "prodcondprint|filterAllBest and(africa(item(name(X))), asia(item(name()))) in file 'DOC' where &X match [a-j].*&|"
  # Tied operands of a top-level `or`: their product is counted, not built.
  "tiedcount|count (filterAllBest or(person(name()), item(name()), person(name())) in file 'DOC')|"
  "tiedcount2|count (filterAllBest or(item(name()), person(name()), person(name())) in file 'DOC')|"
  # Tied alternatives and tied siblings under a negated rule, which removes
  # what its matches cover: no product of the ties is built.
  "negties|filterAllBest people((person(), person()) BAR person()) in file 'DOC' (N)|"
  "negties2|filterAllExact site(people(person()), people(person(age()) BAR person(name()))) in file 'DOC' (N)|"
  "negand|filterAllBest and(person(name()), item(name())) in file 'DOC' (N)|"
)

# Filters whose output itself grows with the square of the document: measured
# up to 10 MB only (at 100 MB they would print tens of gigabytes).
quadratic_output="prodprint prodprint2 prodcondprint"

# Fixed documents, made once: name | filter (FILE stands for the document) | document
wide_names=$(python3 -c 'print(", ".join(["name()"] * 16000))')
# 12,000 nested groups, "|" and "," in turn: (((name(), name()) | name()), name()) ...
nested_groups=$(python3 -c 'q = "name(), name()"
for i in range(12000): q = ("(%s) BAR name()" if i % 2 == 0 else "(%s), name()") % q
print(q)')
fixed=(
  "chain2k|count (filterAllExact parlist(X) in file 'FILE')|chain_2000.xml"
  "chain16k|count (filterAllExact parlist(X) in file 'FILE')|chain_16000.xml"
  # A condition over every subtree of a chain: each nested subtree's text.
  "chaincond32k|count (filterAllExact parlist(X) in file 'FILE' where &X match d.*&)|chain_d_32000.xml"
  "persons400|filterAllExact person(person(person(name()))) in file 'FILE'|persons_400.xml"
  "persons400best|filterAllBest person(person(person(name()))) in file 'FILE'|persons_400.xml"
  "wide16k|filterAllBest person($wide_names) in file 'FILE'|auction_example.xml"
  "wide16kexact|filterAllExact person($wide_names) in file 'FILE'|auction_example.xml"
  "nested12k|filterAllBest person($nested_groups) in file 'FILE'|auction_example.xml"
)

timediff='^TimeDiff \{.*\}$'

# measure OUTFILE CMD...: runs CMD RUNS times, stdout to OUTFILE; prints
# "seconds kilobytes cpu-seconds floor-seconds" of the fastest run (its peak
# resident memory and processor time beside it, and the floor for reading
# floor_doc and touching that peak). A run that fails (out of memory or time)
# gives "failed" and the first line of its error output.
measure() {
  local out=$1; shift
  local best_t="" best_m="" best_c="" t m u y st
  for ((r = 0; r < runs; r++)); do
    st=0
    ( ulimit -v $((mem_limit * 1024)); exec /usr/bin/time -f '%e %M %U %S' -o "$work/time.txt" \
        timeout "$time_limit" "$@" >"$out" 2>"$work/stderr.txt" ) || st=$?
    if [ $st != 0 ]; then
      local cmd="$*"
      echo "failed with status $st: ${cmd:0:300}" >&2; head -c 500 "$work/stderr.txt" >&2
      if [ $st = 124 ]; then echo "failed time limit"
      else echo "failed $(head -1 "$work/stderr.txt" | tr -d '|')"; fi
      return
    fi
    read -r t m u y < <(tail -1 "$work/time.txt")
    if [ -z "$best_t" ] || awk "BEGIN{exit !($t < $best_t)}"; then
      best_t=$t; best_m=$m; best_c=$(awk -v u="$u" -v y="$y" 'BEGIN{print u + y}')
    fi
  done
  local floor
  floor=$("$floor_bin" "$floor_doc" $((best_m * 1024)) 3 | awk '{print $8}')
  echo "$best_t $best_m $best_c $floor"
}

# chain DOC TAG N INNER: a document of N nested TAG elements over INNER.
chain() {
  [ -s "$1" ] || python3 -c 'import sys
tag, n, inner = sys.argv[2], int(sys.argv[3]), sys.argv[4]
open(sys.argv[1], "w").write("<site>" + ("<%s>" % tag) * n + inner + ("</%s>" % tag) * n + "</site>")' "$@"
}
chain chain_2000.xml parlist 2000 '<listitem><text>t</text></listitem>'
chain chain_16000.xml parlist 16000 '<listitem><text>t</text></listitem>'
chain chain_d_32000.xml parlist 32000 'd'
chain persons_400.xml person 400 '<name>Ann</name>'
cp "$root/examples/auction.xml" auction_example.xml

load=$(cut -d' ' -f1 /proc/loadavg)
runs_note=${RUNS:-3 runs below 100 MB, 1 from 100 MB up}
[ -n "${RUNS:-}" ] && runs_note="$RUNS runs"
declare -A cell   # cell[name,size] = "seconds kilobytes cpu-seconds"
for size in "${sizes[@]}"; do
  doc="auction_${size}.xml"
  if [ ! -s "$doc" ]; then
    echo "generating $doc" >&2
    python3 "$root/bench/gen_auction.py" "$size" "$doc"
  fi
  if [ -n "${RUNS:-}" ]; then runs=$RUNS
  elif awk "BEGIN{exit !($size < 100)}"; then runs=3
  else runs=1
  fi
  mkdir -p "$out_dir/$size"
  floor_doc=$doc
  for f in "${filters[@]}"; do
    IFS='|' read -r name filter xpath <<<"$f"
    filter=${filter//BAR/|}
    if [[ " $quadratic_output " == *" $name "* ]] && awk "BEGIN{exit !($size > 10)}"; then
      echo "size $size: $name skipped (its output grows with the square of the document)" >&2
      continue
    fi
    echo "size $size: $name" >&2
    cell[$name,$size]=$(measure "$out_dir/$size/$name.out" "$bin" "${filter//DOC/$doc}")
    sed -i -E "s/$timediff/TIMEDIFF/" "$out_dir/$size/$name.out"
    if [ -n "$xpath" ]; then
      cell[$name-xmllint,$size]=$(measure "$out_dir/$size/$name.xmllint" xmllint --xpath "$xpath" "$doc")
    fi
  done
done

mkdir -p "$out_dir/fixed"
for f in "${fixed[@]}"; do
  IFS='|' read -r name filter file <<<"$f"
  filter=${filter//BAR/|}
  echo "fixed: $name" >&2
  runs=${RUNS:-3}
  floor_doc=$file
  cell[$name,fixed]=$(measure "$out_dir/fixed/$name.out" "$bin" "${filter//FILE/$file}")
  sed -i -E "s/$timediff/TIMEDIFF/" "$out_dir/fixed/$name.out"
done

fmt() {  # fmt "seconds kilobytes cpu" -> "1.23 s (cpu 1.10 s), 45 MB"
  [ -z "$1" ] && { echo "-"; return; }
  case $1 in failed*) echo "failed: ${1#failed }"; return;; esac
  local s k c f
  read -r s k c f <<<"$1"
  awk -v s="$s" -v k="$k" -v c="$c" 'BEGIN{printf "%.2f s (cpu %.2f s), %.0f MB", s, c, k/1024}'
}

overfloor() {  # overfloor CELL -> wall time over the floor measured with it
  case "$1" in ""|failed*) echo "-"; return;; esac
  local s k c f
  read -r s k c f <<<"$1"
  awk -v s="$s" -v f="$f" 'BEGIN{ if (f > 0) printf "%.1f", s/f; else printf "-" }'
}

perbyte() {  # perbyte CELL FILE -> peak resident bytes per document byte
  case "$1" in ""|failed*) echo "-"; return;; esac
  local s k c
  read -r s k c <<<"$1"
  awk -v k="$k" -v b="$(stat -L -c %s "$2")" 'BEGIN{printf "%.1f", k * 1024 / b}'
}

memratio() {  # memratio CELL CELL -> peak memory of the first over that of the second
  case "$1 $2" in *failed*|" "*|*" ") echo "-"; return;; esac
  local a b
  a=$(cut -d' ' -f2 <<<"$1"); b=$(cut -d' ' -f2 <<<"$2")
  awk -v a="$a" -v b="$b" 'BEGIN{ if (b > 0) printf "%.1f", a/b; else printf "-" }'
}

ratio() {  # ratio CELL CELL -> wall time of the first over that of the second
  case "$1 $2" in *failed*|" "*|*" ") echo "-"; return;; esac
  awk -v a="${1%% *}" -v b="${2%% *}" 'BEGIN{ if (b > 0) printf "%.1f", a/b; else printf "-" }'
}

cores=$(nproc)
if [ ${#sizes[@]} -gt 0 ]; then
echo
echo "Wall time (processor time: user + system) and peak resident memory, fastest of $runs_note; $cores cores, load average before the runs: $load. × floor: the time over reading the document plus first-touching the run's peak on huge pages."
echo
header="| filter |"; rule="|---|"
for size in "${sizes[@]}"; do header+=" $size MB | bytes/byte | × floor |"; rule+="---|---|---|"; done
for size in "${sizes[@]}"; do header+=" $size MB / exact (time, memory) |"; rule+="---|"; done
has10=0; has100=0
for s in "${sizes[@]}"; do [ "$s" = 10 ] && has10=1; [ "$s" = 100 ] && has100=1; done
if [ $has10 = 1 ] && [ $has100 = 1 ]; then header+=" 100 MB / 10 MB |"; rule+="---|"; fi
echo "$header"; echo "$rule"
for f in "${filters[@]}"; do
  IFS='|' read -r name filter xpath <<<"$f"
  filter=${filter//BAR/\\|}
  rows=("$name|\`${filter//DOC/doc.xml}\`")
  [ -n "$xpath" ] && rows+=("$name-xmllint|xmllint --xpath \`$xpath\`")
  for row in "${rows[@]}"; do
    key=${row%%|*}; label=${row#*|}
    line="| $label |"
    for size in "${sizes[@]}"; do
      line+=" $(fmt "${cell[$key,$size]:-}") | $(perbyte "${cell[$key,$size]:-}" "auction_${size}.xml") | $(overfloor "${cell[$key,$size]:-}") |"
    done
    for size in "${sizes[@]}"; do
      line+=" $(ratio "${cell[$key,$size]:-}" "${cell[exact,$size]:-}"), $(memratio "${cell[$key,$size]:-}" "${cell[exact,$size]:-}") |"
    done
    if [ $has10 = 1 ] && [ $has100 = 1 ]; then
      line+=" $(ratio "${cell[$key,100]:-}" "${cell[$key,10]:-}") |"
    fi
    echo "$line"
  done
done

fi

echo
echo "Fixed documents (chains of nested elements; the 2 KB example document), fastest of ${RUNS:-3} runs:"
echo
echo "| filter | document | time, memory | bytes/byte | × floor |"
echo "|---|---|---|---|---|"
for f in "${fixed[@]}"; do
  IFS='|' read -r name filter file <<<"$f"
  shown=${filter//FILE/$file}
  shown=${shown//BAR/\\|}
  if [ ${#shown} -gt 120 ]; then
    case $name in
      nested*) shown="${shown:0:40} … (12,000 nested groups, \\| and , in turn) in file '$file'";;
      *) shown="${shown:0:60} … (16,000 name() children) in file '$file'";;
    esac
  fi
  echo "| \`$shown\` | $file ($(stat -L -c %s "$file") bytes) | $(fmt "${cell[$name,fixed]:-}") | $(perbyte "${cell[$name,fixed]:-}" "$file") | $(overfloor "${cell[$name,fixed]:-}") |"
done
