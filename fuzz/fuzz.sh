#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each one on its corpus for the
# given number of seconds (default 60). Exits non-zero when any target finds
# something: a crash, a sanitizer report, a leak, a timeout (-timeout) or an
# out-of-memory (-rss_limit_mb). The reproducer is left in the work folder
# (crash-*, leak-*, timeout-*, oom-*) and its log is printed.
#
#   fuzz/fuzz.sh [seconds] [target ...]
#
# Environment: AXF_FUZZ_BUILD (build folder, default build-fuzz),
# AXF_FUZZ_WORK (new inputs, findings and logs, default build-fuzz/work),
# AXF_FUZZ_JOBS (targets run at once and build jobs, default: the number of
# processors), AXF_FUZZ_MAX_LEN (the largest input of every target; by
# default 64 KB where the width of a document, a filter or a searched text
# can blow up, 4 KB for the parsers of filter and condition texts),
# CXX (clang++ to use; the newest installed clang++-NN, 16 or newer, by default).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(index index_direct filter regex exp run_doc run_filter)
build=${AXF_FUZZ_BUILD:-$root/build-fuzz}
work=${AXF_FUZZ_WORK:-$build/work}
jobs=${AXF_FUZZ_JOBS:-$(nproc)}

# The sources need clang 16 or newer, the versions .ci/run installs.
if [ -z "${CXX:-}" ]; then
  for v in 19 18 17 16; do
    if command -v clang++-$v >/dev/null 2>&1; then CXX=clang++-$v; break; fi
  done
  if [ -z "${CXX:-}" ]; then
    echo "fuzz/fuzz.sh: clang++ 16 or newer is needed (apt-get install clang-16 libclang-rt-16-dev), or set CXX" >&2
    exit 1
  fi
fi

cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER="$CXX" >/dev/null || exit 1
cmake --build "$build" -j"$jobs" || exit 1

dict_of() {
  case $1 in
    index|index_direct|run_doc) echo xml ;;
    filter|run_filter) echo filter ;;
    *) echo "$1" ;;
  esac
}

max_len_of() {
  if [ -n "${AXF_FUZZ_MAX_LEN:-}" ]; then echo "$AXF_FUZZ_MAX_LEN"; return; fi
  case $1 in
    filter|exp) echo 4096 ;;
    *) echo 65536 ;;
  esac
}

mkdir -p "$work"
run_one() {
  local t=$1 dir="$work/$1"
  rm -rf "$dir/artifacts"
  mkdir -p "$dir/corpus" "$dir/artifacts"
  # New inputs go to the work corpus; the seed corpus in the tree is only read.
  ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/${t}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len="$(max_len_of "$t")" \
      -print_final_stats=1 -dict="$here/dict/$(dict_of "$t").dict" \
      -artifact_prefix="$dir/artifacts/" "$dir/corpus" "$here/corpus/$t" >"$dir/log" 2>&1
  local st=$?
  local stats
  stats=$(grep -E '^#[0-9]+.*DONE' "$dir/log" | tail -1)
  if [ $st -ne 0 ] || ls "$dir/artifacts" | grep -q .; then
    echo "FINDING $t (status $st):"
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written|==[0-9]+==' "$dir/log" | head -20
    ls "$dir/artifacts"
    return 1
  fi
  echo "ok $t: ${stats:-no stats}"
}

fail=0
pids=()
names=()
for t in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do sleep 1; done
  run_one "$t" >"$work/$t.result" 2>&1 &
  pids+=($!)
  names+=("$t")
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || fail=1
  cat "$work/${names[$i]}.result"
done
exit $fail
