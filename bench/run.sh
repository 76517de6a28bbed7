#!/usr/bin/env bash
# Builds the release preset and runs the engine benchmark, printing medians and the
# 1,048,575-row / 100,000-row ratio of each measured program. Each program and size runs in
# a process of its own, so no case starts with memory an earlier case already touched.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target merge_bench
out=$(mktemp -d)
for prog in BM_FindEqualRuns BM_SmartMerge BM_UnmergeFill; do
  for rows in 100000 1048575; do
    build/default/bench/merge_bench --benchmark_filter="^$prog/$rows(/|\$)" --benchmark_repetitions=5 \
      --benchmark_report_aggregates_only=true --benchmark_out="$out/$prog-$rows.json" \
      --benchmark_out_format=json >/dev/null
  done
done
python3 - "$out" <<'PY'
import glob, json, sys
med = {}
for path in glob.glob(sys.argv[1] + "/*.json"):
    for r in json.load(open(path))["benchmarks"]:
        if r.get("aggregate_name") == "median":
            med[r["run_name"]] = r["real_time"]
for name in sorted(med):
    print(f"{name:48s} median {med[name]:10.2f} ms")
for prog in ("BM_FindEqualRuns", "BM_SmartMerge", "BM_UnmergeFill"):
    small = next((v for k, v in med.items() if k.startswith(prog + "/100000")), None)
    large = next((v for k, v in med.items() if k.startswith(prog + "/1048575")), None)
    if small and large:
        print(f"{prog:48s} 1048575/100000 = {large / small:5.2f}")
PY
rm -rf "$out"
