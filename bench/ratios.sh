#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench unless BUILD_DIR is set),
# runs them and prints, per workload, every operation's time per record,
# throughput, speed against asn1c's code for the same bytes (measured in the
# same run), heap allocations and peak heap, then the two-thread scaling and
# the speed targets, and last the oxser tool's encode time per value and
# decode memory against their bounds (tool_ratios.cpp). Times are CPU times (steadier than wall time on a
# shared machine), but for the thread runs, which are wall-clock.
#   bench/ratios.sh [extra Google Benchmark flags]
#   BENCH_MIN_TIME=0.01 bench/ratios.sh        # a quick smoke run
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-bench}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DOXSERUTL_BUILD_BENCHMARKS=ON \
    -DOXSERUTL_BUILD_TESTS=OFF -DOXSERUTL_BUILD_EXAMPLES=OFF >/dev/null
fi
cmake --build "$build" -j2 --target oxserutl_bench oxser oxser_tool_ratios >/dev/null
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$build/bench/oxserutl_bench" --benchmark_format=json --benchmark_min_time="${BENCH_MIN_TIME:-0.3}" "$@" >"$json"
python3 - "$json" <<'PY'
import json, sys

doc = json.load(open(sys.argv[1]))
failed = [r["name"] for r in doc["benchmarks"] if r.get("error_occurred")]
if failed:
    sys.exit("failed: " + ", ".join(failed))
runs = [r for r in doc["benchmarks"] if r.get("run_type", "iteration") == "iteration" and not r.get("error_occurred")]
scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}
t, counters, threads = {}, {}, {}
for r in runs:
    parts = r["name"].split("/")
    op, w = parts[0], parts[1]
    if op == "decode_threads":
        threads.setdefault(w, {})[r.get("threads", 1)] = r["items_per_second"]
        continue
    t.setdefault(w, {})[op] = r["cpu_time"] * scale[r["time_unit"]]
    counters.setdefault(w, {})[op] = r

labels = {
    "decode": "decode", "decode_lcs": "decode LCS", "decode_tree": "decode, tree",
    "asn1c_decode": "asn1c decode", "encode": "encode", "encode_lcs": "encode LCS",
    "encode_tree": "encode, tree", "asn1c_encode": "asn1c encode", "memcpy": "memcpy", "walk": "TLV walk",
}
order = list(labels)
print(f"{doc['context'].get('num_cpus')} CPUs; "
      "x asn1c = asn1c's time / this time (above 1: faster than asn1c)")
met = []
for w in sorted(t):
    x = t[w]
    any_run = next(iter(counters[w].values()))
    nbytes = any_run["bytes_per_second"] * any_run["cpu_time"] * scale[any_run["time_unit"]] / 1e9 if "bytes_per_second" in any_run else 0
    elements = next((c.get("elements") for c in counters[w].values() if c.get("elements")), None)
    print()
    print(f"{w}: {nbytes:.0f} bytes, {elements:.0f} elements" if elements else f"{w}")
    print(f"  {'operation':14} {'ns/record':>11} {'MB/s':>8} {'x asn1c':>8} {'allocs':>7} {'allocs/elem':>11} {'peak heap':>10} {'peak/byte':>9}")
    for op in order:
        if op not in x:
            continue
        c = counters[w][op]
        ns = x[op]
        mbs = c.get("bytes_per_second", 0) / 1e6
        peer = "asn1c_decode" if "decode" in op else "asn1c_encode" if "encode" in op else None
        vs = f"{x[peer] / ns:8.2f}" if peer and peer in x and not op.startswith("asn1c") else "       -"
        allocs = c.get("allocations")
        peak = c.get("peak_heap")
        per_elem = f"{allocs / elements:11.2f}" if allocs is not None and elements else "          -"
        per_byte = f"{peak / nbytes:9.2f}" if peak is not None and nbytes else "        -"
        a = f"{allocs:7.0f}" if allocs is not None else "      -"
        p = f"{peak:10.0f}" if peak is not None else "         -"
        print(f"  {labels[op]:14} {ns:11.0f} {mbs:8.1f} {vs} {a} {per_elem} {p} {per_byte}")
    if w in threads and 1 in threads[w] and 2 in threads[w]:
        s = threads[w][2] / threads[w][1]
        print(f"  decode on two threads: {s:.2f} x the throughput of one")
        met.append((w, "two threads >= 1.8 x one", s >= 1.8, f"{s:.2f}"))
    if "asn1c_decode" in x and "asn1c_encode" in x:
        d = x["asn1c_decode"] / x["decode"]
        e = x["asn1c_encode"] / x["encode"]
        if w == "W4":
            met.append((w, "decode+free <= 0.5 x asn1c's time", x["decode"] / x["asn1c_decode"] <= 0.5, f"{x['decode'] / x['asn1c_decode']:.2f}"))
            met.append((w, "encode <= 0.5 x asn1c's time", x["encode"] / x["asn1c_encode"] <= 0.5, f"{x['encode'] / x['asn1c_encode']:.2f}"))
        else:
            met.append((w, "decode+free >= 2 x asn1c's throughput", d >= 2, f"{d:.2f}"))
            met.append((w, "encode >= 4 x asn1c's throughput", e >= 4, f"{e:.2f}"))
if met:
    print()
    print("targets")
    for w, what, ok, value in met:
        print(f"  {w} {what:40} {value:>7}  {'met' if ok else 'MISSED'}")
PY
echo
echo "oxser tool (CPU time and peak memory of child processes)"
"$build/bench/oxser_tool_ratios" "$build/tools/oxser"
