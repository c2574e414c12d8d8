#!/usr/bin/env bash
# Builds axfilter and every test in Release (folder build/) and runs them all.
# On a fresh Debian machine it first installs with apt-get what is missing:
# cmake, g++, GoogleTest and Python 3 (for the check of the generated parser
# tables).
set -euo pipefail
cd "$(dirname "$0")/.."

need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v g++ >/dev/null 2>&1 || need+=(g++)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
command -v python3 >/dev/null 2>&1 || need+=(python3)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "tools/test.sh: missing ${need[*]}: install them (apt-get install ${need[*]}) or run as root" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${need[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DAXF_TESTS=ON && cmake --build build -j"$(nproc)" &&
  ctest --test-dir build --output-on-failure -j"$(nproc)"
