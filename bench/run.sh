#!/usr/bin/env bash
# Builds the release preset and runs the engine benchmark, printing medians and the
# 1,048,575-row / 100,000-row ratio of each measured program.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target merge_bench
out=$(mktemp)
build/default/bench/merge_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=json --benchmark_out="$out" --benchmark_out_format=json >/dev/null
python3 - "$out" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
med = {r["run_name"]: r["real_time"] for r in runs if r.get("aggregate_name") == "median"}
for name in sorted(med):
    print(f"{name:40s} median {med[name]:10.2f} ms")
for prog in ("BM_FindEqualRuns", "BM_SmartMerge", "BM_UnmergeFill"):
    small = next((v for k, v in med.items() if k.startswith(prog + "/100000")), None)
    large = next((v for k, v in med.items() if k.startswith(prog + "/1048575")), None)
    if small and large:
        print(f"{prog:40s} 1048575/100000 = {large / small:5.2f}")
PY
