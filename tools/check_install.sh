#!/usr/bin/env bash
# Installs a build into a scratch prefix and checks what a user finds there:
# the program, its manual page (rendered by man -l where man is installed),
# the README, the tag vocabulary and the example documents under
# share/doc/axfilter, a usage text that names them, and its example running.
# Usage: tools/check_install.sh BUILD_DIR
set -u
build=${1:?usage: tools/check_install.sh BUILD_DIR}
scratch=$(mktemp -d); trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/log" 2>&1 || { cat "$scratch/log"; exit 1; }
fail=0
doc=$prefix/share/doc/axfilter
for f in bin/axfilter share/man/man1/axfilter.1 share/doc/axfilter/README.md share/doc/axfilter/docs/vocabulary.md \
         share/doc/axfilter/examples/auction.xml share/doc/axfilter/examples/reading.xml; do
  [ -f "$prefix/$f" ] || { echo "FAIL not installed: $f"; fail=1; }
done
"$prefix/bin/axfilter" --help >"$scratch/usage" 2>&1 || { echo "FAIL --help: status $?"; fail=1; }
grep -qF "$doc/README.md" "$scratch/usage" || { echo "FAIL the usage text does not name $doc/README.md"; fail=1; }
example=$(sed -n '/^Example:$/{n;p;q}' "$scratch/usage")
( cd "$scratch" && PATH="$prefix/bin:$PATH" bash -c "$example" >"$scratch/out" 2>&1 ) || { echo "FAIL the usage example: $example"; cat "$scratch/out"; fail=1; }
grep -q '^Ricerca embedding' "$scratch/out" || { echo "FAIL the usage example prints no result"; fail=1; }
if command -v man >/dev/null 2>&1; then
  MANWIDTH=80 man -l "$prefix/share/man/man1/axfilter.1" >"$scratch/man" 2>"$scratch/man.err"
  if ! grep -q 'EXIT STATUS' "$scratch/man" || [ -s "$scratch/man.err" ]; then
    echo "FAIL man -l does not render the page"; cat "$scratch/man.err"; fail=1
  fi
else
  echo "skip man -l: man is not installed"
fi
[ $fail = 0 ] && echo "install: ok"
exit $fail
