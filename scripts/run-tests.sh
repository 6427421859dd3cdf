#!/usr/bin/env bash
# Builds and runs the whole test suite twice: optimised, then under AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
jobs=$(nproc 2>/dev/null || echo 2)
for preset in release asan; do
    echo "== $preset"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
    # One test at a time: the live tests measure a child burning a core of this machine.
    ctest --preset "$preset"
done
