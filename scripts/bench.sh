#!/usr/bin/env bash
# Runs the provider, window, tree and validation benchmarks with interleaved
# repetitions and prints, per run, the medians and their ratios to the libxml2
# baseline (LoadPairList's to SplitBaseline), and the heap growth of the first
# GetData in the window and of a validator with its schema.
#   scripts/bench.sh [RUNS] [REPETITIONS]     (defaults: 3 runs of 7)
# Build first (scripts/test.sh builds build/bench/tarnwell-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-3}"; reps="${2:-7}"
bench=build/bench/tarnwell-bench
[ -x "$bench" ] || { echo "bench: $bench is not built; run scripts/test.sh first" >&2; exit 1; }
out="$(mktemp)"; log="$(mktemp)"; trap 'rm -f "$out" "$log"' EXIT
for run in $(seq "$runs"); do
  "$bench" --benchmark_filter='^(Libxml2ParseBaseline|Provider|WindowGetData|WindowPutData|WindowSelectAndType|ValidateDocument|CheckUnsaved|SplitBaseline|LoadPairList/32767|NameLookup|QtStringHash)' \
    --benchmark_repetitions="$reps" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_out="$out" --benchmark_out_format=json >"$log" 2>&1 ||
    { cat "$log" >&2; exit 1; }
  # The JSON report, one field per line: the name comes first in each run.
  awk -v run="$run" '
    /"name":/ { name = $0; sub(/.*"name": "/, "", name); sub(/".*/, "", name) }
    /"real_time":/ && name ~ /_median$/ { v = $0; sub(/.*: /, "", v); sub(/,.*/, "", v); t[substr(name, 1, length(name) - 7)] = v + 0 }
    /"heap_growth_MB":/ && name ~ /_median$/ { v = $0; sub(/.*: /, "", v); sub(/,.*/, "", v); heap[substr(name, 1, length(name) - 7)] = v + 0 }
    END {
      base = t["Libxml2ParseBaseline/32767"]
      printf "run %d: Libxml2ParseBaseline/32767 %.2f ms\n", run, base
      n = split("ProviderGetData/32767 ProviderPutDataOneEdit/32767 WindowGetData/32767 WindowPutData/32767 WindowGetDataNested/32751 ValidateDocument/32767 CheckUnsaved/32767", names, " ")
      for (i = 1; i <= n; ++i) {
        if (!(names[i] in t)) continue
        printf "  %-30s %7.2f ms  %.2fx", names[i], t[names[i]], t[names[i]] / base
        if (names[i] in heap) printf "  heap growth %.1f MB", heap[names[i]]
        printf "\n"
      }
      if ("LoadPairList/32767" in t && "SplitBaseline/32767" in t)
        printf "  %-30s %7.2f ms  %.2fx SplitBaseline (%.2f ms)\n", "LoadPairList/32767", t["LoadPairList/32767"], t["LoadPairList/32767"] / t["SplitBaseline/32767"], t["SplitBaseline/32767"]
      for (k in t) if (k ~ /^WindowSelectAndType/) printf "  %-30s %7.2f us\n", k, t[k]
      for (k in t) if (k ~ /^(NameLookup|QtStringHash)\//) printf "  %-30s %7.2f ns\n", k, t[k]
    }' "$out"
done
