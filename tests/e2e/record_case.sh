#!/usr/bin/env bash
# Writes stdout/stderr/status of a case from the given binary, for review.
# Usage: record_case.sh path/to/axfilter case-name
set -u
bin=$(realpath "$1"); dir="$(cd "$(dirname "$0")" && pwd)/cases/$2"
timediff='^TimeDiff \{tdYear = 0, tdMonth = 0, tdDay = 0, tdHour = 0, tdMin = 0, tdSec = -?[0-9]+, tdPicosec = (0|-?[1-9][0-9]*000000000)\}$'
rm -f "$dir/stderr" "$dir/status"
( cd "$dir" && "$bin" "$(cat filter)" >stdout.raw 2>stderr.raw ); st=$?
sed -E "s/$timediff/TIMEDIFF/" "$dir/stdout.raw" >"$dir/stdout"; rm "$dir/stdout.raw"
if [ -s "$dir/stderr.raw" ]; then mv "$dir/stderr.raw" "$dir/stderr"; else rm "$dir/stderr.raw"; fi
if [ $st != 0 ]; then echo $st >"$dir/status"; else rm -f "$dir/status"; fi
cat "$dir/stdout"; [ -f "$dir/stderr" ] && { echo "--- stderr"; cat "$dir/stderr"; }; echo "--- status $st"
