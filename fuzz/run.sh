#!/usr/bin/env bash
# Builds every fuzz target and runs each for the given number of seconds,
# then prints the executions and findings per target.
#
#   fuzz/run.sh [seconds-per-target] [target...]      (default 20 s, every target)
#
# Environment: BUILD_DIR (default build-fuzz), JOBS (targets run side by side,
# default 1), FUZZ_ARGS (extra libFuzzer flags). The seeds in fuzz/corpus/<target>
# are read, never written: new inputs go to $BUILD_DIR/corpus/<target>, which
# persists between runs, and the findings of this run to $BUILD_DIR/findings/<target>/.
# Exit status 1 when any target has a finding.
#
# For hours of fuzzing, run one target per core in the background, e.g.
#   JOBS=2 fuzz/run.sh 14400
# or a single target directly, resuming from the kept corpus:
#   build-fuzz/fuzz/records_fuzz -max_len=4096 -timeout=10 build-fuzz/corpus/records fuzz/corpus/records
# A finding is reproduced by running the target on its file alone.
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
if [ ${#targets[@]} -eq 0 ]; then
  targets=()
  for f in fuzz/*_fuzz.cpp; do n=$(basename "$f" _fuzz.cpp); targets+=("$n"); done
fi
cmake --build "$build" -j2 --target $(printf '%s_fuzz ' "${targets[@]}") >/dev/null

# The local-code-set paths convert only under a locale whose code set is not UTF-8.
if locale -a 2>/dev/null | grep -qi '^en_US\.iso88591$'; then export OXSERUTL_FUZZ_LOCALE=en_US.ISO-8859-1; fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

run_one() {
  local t=$1 work="$build/corpus/$1" found="$build/findings/$1"
  rm -rf "$found"
  mkdir -p "$work" "$found"
  "$build/fuzz/${t}_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$found/" ${FUZZ_ARGS:-} "$work" "fuzz/corpus/$t" \
    >"$build/findings/$t.log" 2>&1 || true
}

running=0
for t in "${targets[@]}"; do
  run_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then wait -n; running=$((running - 1)); fi
done
wait

status=0
total=0
printf '%-10s %12s %8s %8s  %s\n' target executions exec/s findings corpus
for t in "${targets[@]}"; do
  log="$build/findings/$t.log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  findings=$(find "$build/findings/$t" -type f | wc -l)
  units=$(find "$build/corpus/$t" -type f | wc -l)
  [ -n "$execs" ] || { execs=0; findings=$((findings + 1)); }  # the run itself failed: see the log
  printf '%-10s %12s %8s %8s  %s\n' "$t" "$execs" "${rate:-0}" "$findings" "$units"
  total=$((total + execs))
  if [ "$findings" -ne 0 ]; then status=1; ls "$build/findings/$t" >&2; tail -30 "$log" >&2; fi
done
echo "total executions: $total"
exit $status
