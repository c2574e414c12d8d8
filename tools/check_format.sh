#!/usr/bin/env bash
# Checks that every C++ source of the project is laid out as .clang-format
# says (clang-format 14, the version Debian 12 ships; other versions lay out
# some constructs differently). The generated parser tables are left out.
#
#   tools/check_format.sh          list the files that differ; status 1 if any
#   tools/check_format.sh --fix    rewrite them in place
set -euo pipefail
cd "$(dirname "$0")/.."

fmt=clang-format-14
if ! command -v "$fmt" >/dev/null 2>&1; then
  if [ "$(id -u)" != 0 ]; then
    echo "tools/check_format.sh: $fmt is missing: install it (apt-get install clang-format-14) or run as root" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq clang-format-14
fi

mapfile -t files < <(git ls-files -- '*.h' '*.cpp' | grep -Ev '^filter/(Filter|Exp)Table\.(cpp|h)$')

if [ "${1:-}" = --fix ]; then
  "$fmt" -i "${files[@]}"
  exit 0
fi

# One clang-format per file, as many at a time as there are processors.
mapfile -t bad < <(printf '%s\n' "${files[@]}" |
  xargs -P "$(nproc)" -I{} sh -c '"$0" --dry-run --Werror "$1" >/dev/null 2>&1 || echo "$1"' "$fmt" {} | sort)
if [ ${#bad[@]} -gt 0 ]; then
  echo "Not laid out as .clang-format says (tools/check_format.sh --fix rewrites them):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "format: ${#files[@]} files checked"
