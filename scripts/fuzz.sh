#!/usr/bin/env bash
# Builds the libFuzzer targets (the reader, the store, the schema check) with
# clang, AddressSanitizer and UndefinedBehaviorSanitizer, and runs each for a
# fixed time (seconds, 30 by default) on the test documents and schemas as
# seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"

scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTARNWELL_FUZZ=ON -DTARNWELL_SANITIZE=ON \
  -DTARNWELL_BUILD_TESTS=OFF -DTARNWELL_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build-fuzz --target fuzz_parse fuzz_store fuzz_schema

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in fuzz_parse fuzz_store fuzz_schema; do
  corpus="build-fuzz/corpus-$target"
  mkdir -p "$corpus"
  if [ "$target" = fuzz_schema ]; then
    cp tests/data/xsd/*.xsd examples/*.xsd "$corpus/"
  fi
  for f in tests/data/xml/*.xml; do
    [ "$target" = fuzz_schema ] && break
    if [ "$target" = fuzz_store ]; then
      # The document, then bytes that choose the edits.
      { cat "$f"; printf '\n--\n'; head -c 64 "${f%.xml}.put"; } > "$corpus/$(basename "$f")"
    else
      cp "$f" "$corpus/"
    fi
  done
  echo "fuzz: $target for ${seconds}s"
  log="build-fuzz/$target.log"
  rm -f build-fuzz/crash-* build-fuzz/timeout-* build-fuzz/oom-* build-fuzz/leak-*
  status=0
  "build-fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=16384 -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix=build-fuzz/ "$corpus" > "$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    # A finding: show the whole report and the input, so that it can be
    # replayed from the CI log alone (base64 -d > input; fuzz_xxx input).
    { grep -v '^#[0-9]' "$log" || true; } | tail -n 200
    for artifact in build-fuzz/crash-* build-fuzz/timeout-* build-fuzz/oom-* build-fuzz/leak-*; do
      [ -e "$artifact" ] || continue
      echo "fuzz: input $artifact, base64:"
      base64 "$artifact"
    done
    exit "$status"
  fi
  tail -n 12 "$log"
done
