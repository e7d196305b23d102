#!/usr/bin/env bash
# Builds the fuzz targets and runs each for the given seconds (fuzz/README.md):
#   fuzz/run.sh [seconds-per-target] [target...]      (default 20 s, every target)
# BUILD_DIR (default build-fuzz), JOBS (targets side by side, default 1), FUZZ_ARGS
# (more libFuzzer flags). New inputs go to $BUILD_DIR/corpus/<target>, findings
# to $BUILD_DIR/findings/<target>/; exit status 1 when any target has a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
shift || true
build=${BUILD_DIR:-build-fuzz}
jobs=${JOBS:-1}

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOXSERUTL_BUILD_FUZZ=ON \
    -DOXSERUTL_BUILD_TESTS=OFF -DOXSERUTL_BUILD_EXAMPLES=OFF >/dev/null
fi
targets=("$@")
[ ${#targets[@]} -ne 0 ] || for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" _fuzz.cpp)"); done
cmake --build "$build" -j2 --target $(printf '%s_fuzz ' "${targets[@]}") >/dev/null

# The local-code-set paths convert only under a locale whose code set is not UTF-8.
if grep -qi '^en_US\.iso88591$' <<<"$(locale -a 2>/dev/null)"; then export OXSERUTL_FUZZ_LOCALE=en_US.ISO-8859-1; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_one() {
  rm -rf "$build/findings/$1"
  mkdir -p "$build/corpus/$1" "$build/findings/$1"
  "$build/fuzz/$1_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$build/findings/$1/" ${FUZZ_ARGS:-} "$build/corpus/$1" "fuzz/corpus/$1" \
    >"$build/findings/$1.log" 2>&1 || true
}
running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
done
wait

status=0
printf '%-10s %12s %8s %8s  %s\n' target executions exec/s findings corpus
for t in "${targets[@]}"; do
  log="$build/findings/$t.log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  findings=$(find "$build/findings/$t" -type f | wc -l)
  [ -n "$execs" ] || { execs=0; findings=$((findings + 1)); }  # the run itself failed: see the log
  printf '%-10s %12s %8s %8s  %s\n' "$t" "$execs" "${rate:-0}" "$findings" "$(find "$build/corpus/$t" -type f | wc -l)"
  if [ "$findings" -ne 0 ]; then status=1; ls "$build/findings/$t" >&2; tail -30 "$log" >&2; fi
done
exit $status
