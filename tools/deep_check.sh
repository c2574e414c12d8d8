#!/usr/bin/env bash
# Deep documents end to end: every statement that walks a bound subtree or a
# result as deep as the document, over chains of nested elements, with and
# without an address-space limit (which shrinks the run's stack to 32 MiB at
# 400000 KB and 16 MiB at 150000 KB). Each run must end with its output
# (status 0) or "out of memory" (status 1), never by a signal. Prints a
# Markdown table: one row per statement and depth, one column per limit.
#
#   tools/deep_check.sh [DEPTH ...]        (default: 100000 1000000 3000000)
#
# Environment:
#   BIN        the axfilter binary (default build/axfilter)
#   DEEP_DIR   where the documents go (default /tmp/axdeep)
#   LIMITS     the address-space limits in KB, "none" for none
#              (default "none 150000 400000")
#   TIME_LIMIT seconds after which a run is stopped (default 600); a stopped
#              run shows the bytes it had written ("stopped while printing,
#              N GB out")
#   JOBS       runs at a time (default 3)
#   NONE_CAP   the address-space limit in KB of the runs of the "no limit"
#              column (default 8000000): a cap that keeps a run from taking
#              the machine's memory, far above what the run's stack needs
#              (its full 1 GiB reservation), so the stack is that of a run
#              without a limit
#   ONLY       run only the statements whose name matches this pattern
#
# A document of depth N is <site>, N nested <person>, <name>x</name> and the
# closing tags (17 bytes a level). The statements bind the whole chain to a
# variable (X under site), so printing it writes 3 blanks of indentation a
# level on each of its 2N lines: the output of the listing statements grows
# with the square of the depth (30 GB at 10^5 levels, 3 TB at 10^6), which
# stdout on /dev/null takes in its stride. The conditions print the chain's
# text, the negated filter and the counts print a few lines.
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
bin=${BIN:-$root/build/axfilter}
dir=${DEEP_DIR:-/tmp/axdeep}
read -r -a limits <<<"${LIMITS:-none 150000 400000}"
time_limit=${TIME_LIMIT:-600}
jobs=${JOBS:-3}
none_cap=${NONE_CAP:-8000000}
only=${ONLY:-}
depths=("$@")
[ ${#depths[@]} -eq 0 ] && depths=(100000 1000000 3000000)
mkdir -p "$dir/runs"

statements=(
  "filterAllExact|filterAllExact site(X) in file 'FILE'"
  "filterAllBest|filterAllBest site(X) in file 'FILE'"
  "filterOneBest|filterOneBest site(X) in file 'FILE'"
  "filterBestExact|filterBestExact site(X) in file 'FILE'"
  "and listing|filterAllExact and(site(X), name(Y)) in file 'FILE'"
  "or listing|filterAllBest or(site(X), name(Y)) in file 'FILE'"
  "nested filter|filterAllExact site(X) in (filterAllExact site(X) in file 'FILE')"
  "condition|filterAllExact site(X) in file 'FILE' where &X match .*x.*&"
  "negated (N)|filterAllExact site(X) in file 'FILE' (N)"
  "count|count (filterAllExact site(X) in file 'FILE')"
  "count, condition|count (filterAllBest site(X) in file 'FILE' where &X match .*x.*&)"
)

for n in "${depths[@]}"; do
  doc="$dir/deep_$n.xml"
  [ -s "$doc" ] || python3 -c 'import sys
n = int(sys.argv[2])
open(sys.argv[1], "w").write("<site>" + "<person>" * n + "<name>x</name>" + "</person>" * n + "</site>")' "$doc" "$n"
done

# run ID DEPTH LIMIT FILTER: one run; its cell text goes to runs/ID.cell.
run() {
  local id=$1 n=$2 limit=$3 filter=$4 start end status cell first pid written stopped=
  start=$(date +%s.%N)
  (
    cd "$dir" || exit 99
    if [ "$limit" = none ]; then ulimit -v "$none_cap"; else ulimit -v "$limit"; fi
    exec "$bin" "$filter" >/dev/null 2>"runs/$id.err"
  ) &
  pid=$!
  # The bytes written so far are read before a run that takes too long is
  # stopped: a run still printing its output is told from one that hangs.
  while kill -0 "$pid" 2>/dev/null; do
    if [ "$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN{print (e - s >= '"$time_limit"')}')" = 1 ]; then
      written=$(awk '/^wchar/{print $2}' "/proc/$pid/io" 2>/dev/null)
      kill -KILL "$pid" 2>/dev/null
      stopped=1
      break
    fi
    sleep 0.2
  done
  wait "$pid"
  status=$?
  end=$(date +%s.%N)
  first=$(head -c 60 "$dir/runs/$id.err" | head -n 1)
  if [ -n "$stopped" ]; then
    cell="stopped after ${time_limit} s, $(awk -v w="${written:-0}" 'BEGIN{printf "%.0f GB", w / 1e9}') written"
  elif [ "$status" -gt 128 ]; then
    cell="**SIGNAL $((status - 128))**"
  elif [ "$status" -eq 0 ]; then
    cell="0"
  else
    cell="$status ${first:-(no message)}"
  fi
  cell="$cell, $(awk -v s="$start" -v e="$end" 'BEGIN{printf "%.1f s", e - s}')"
  echo "$cell" >"$dir/runs/$id.cell"
}

ids=()
if [ -n "$only" ]; then
  kept=()
  for s in "${statements[@]}"; do [[ ${s%%|*} =~ $only ]] && kept+=("$s"); done
  statements=("${kept[@]}")
fi

for n in "${depths[@]}"; do
  for s in "${statements[@]}"; do
    name=${s%%|*}
    filter=${s#*|}
    filter=${filter//FILE/deep_$n.xml}
    for limit in "${limits[@]}"; do
      id="$n.$(echo "$name" | tr -c 'a-zA-Z0-9\n' '_').$limit"
      ids+=("$id")
      run "$id" "$n" "$limit" "$filter" &
      while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
    done
  done
done
wait

header="| statement | depth |"
rule="|---|---|"
for limit in "${limits[@]}"; do
  if [ "$limit" = none ]; then header+=" no limit (cap ${none_cap}) |"; else header+=" ulimit -v $limit |"; fi
  rule+="---|"
done
echo "$header"
echo "$rule"
for n in "${depths[@]}"; do
  for s in "${statements[@]}"; do
    name=${s%%|*}
    row="| $name | $n |"
    for limit in "${limits[@]}"; do
      id="$n.$(echo "$name" | tr -c 'a-zA-Z0-9\n' '_').$limit"
      row+=" $(cat "$dir/runs/$id.cell") |"
    done
    echo "$row"
  done
done
echo
echo "Cells: exit status (0: the output was written; 1: the message on stderr), wall time."
echo "A listing of depth N writes about 3 N^2 bytes of indentation."
