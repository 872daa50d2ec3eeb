#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test.
#   scripts/test.sh             the normal build, in build/
#   scripts/test.sh --sanitize  a build with AddressSanitizer and
#                               UndefinedBehaviorSanitizer, in build-sanitize/
set -euo pipefail
cd "$(dirname "$0")/.."

"scripts/setup.sh"

dir=build
args=()
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-sanitize
  args=(-DTARNWELL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
fi

cmake -S . -B "$dir" -G Ninja "${args[@]}"
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)"
