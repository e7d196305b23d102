#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench unless BUILD_DIR is set), runs
# them and prints, per workload, the time of each operation and its ratio to
# the bounds and the peer measured in the same run:
#   decode / memcpy, decode / walk, decode / asn1c decode, encode / asn1c encode.
# Times are CPU times (steadier than wall time on a shared machine). A ratio
# above 1 means the library takes that many times as long.
#   bench/ratios.sh [extra Google Benchmark flags]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DOXSERUTL_BUILD_BENCHMARKS=ON \
    -DOXSERUTL_BUILD_TESTS=OFF -DOXSERUTL_BUILD_EXAMPLES=OFF >/dev/null
fi
cmake --build "$build" -j2 --target oxserutl_bench >/dev/null
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$build/bench/oxserutl_bench" --benchmark_format=json --benchmark_min_time=0.3 "$@" >"$json"
python3 - "$json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
t = {}
for r in runs:
    if r.get("run_type", "iteration") != "iteration":
        continue
    op, w = r["name"].split("/")[:2]
    t.setdefault(w, {})[op] = r["cpu_time"] * {"ns": 1, "us": 1e3, "ms": 1e6}[r["time_unit"]]
def ratio(a, b):
    return f"{a / b:8.2f}" if a and b else "       -"
print(f"{'workload':8} {'decode ns':>11} {'encode ns':>11} {'dec/memcpy':>10} {'dec/walk':>8} {'dec/asn1c':>9} {'enc/asn1c':>9}")
for w in sorted(t):
    x = t[w]
    print(f"{w:8} {x.get('decode', 0):11.0f} {x.get('encode', 0):11.0f} {ratio(x.get('decode'), x.get('memcpy')):>10}"
          f" {ratio(x.get('decode'), x.get('walk')):>8} {ratio(x.get('decode'), x.get('asn1c_decode')):>9}"
          f" {ratio(x.get('encode'), x.get('asn1c_encode')):>9}")
PY
