#!/usr/bin/env bash
# The library beside asn1c's generated code on every target of this machine,
# each in one process (bench/side_by_side.cpp), as ratios:
#
#   bench/side_by_side.sh [--quick]
#
# Linux x86-64 from build/ (configure it with -DOXSERUTL_BUILD_BENCHMARKS=ON);
# the cross presets build the program with their suites: 32-bit Linux runs
# natively through the cross sysroot's loader, the two Windows builds under
# Wine. s390x is left out: under qemu-user its times would be qemu's. A
# target whose build is missing is skipped with a line; the exit status is 1
# when a run fails.
set -uo pipefail
cd "$(dirname "$0")/.."
export WINEDEBUG=-all
run() {  # title, program, command (ending with the program)...
  local title=$1 program=$2; shift 2
  if [ ! -x "$program" ]; then echo "== $title: $program is not built"; return; fi
  echo "== $title"
  "$@" "${args[@]}" || { echo "(failed: $?)"; failed=1; }
}
failed=0
args=("$@")
run "Linux x86-64" build/bench/oxserutl_side_by_side build/bench/oxserutl_side_by_side
run "Linux i686 (native, through the cross sysroot's loader)" build-linux-x86/bench/oxserutl_side_by_side \
  /usr/i686-linux-gnu/lib/ld-linux.so.2 --library-path /usr/i686-linux-gnu/lib:build-linux-x86 \
  build-linux-x86/bench/oxserutl_side_by_side
run "Windows x64 (wine64)" build-windows-x64/bin/oxserutl_side_by_side.exe wine build-windows-x64/bin/oxserutl_side_by_side.exe
if [ -x /usr/lib/wine/wine ]; then
  run "Windows x86, the 32-bit DLL (wine)" build-windows-x86/bin/oxserutl_side_by_side.exe \
    wine build-windows-x86/bin/oxserutl_side_by_side.exe
else
  echo "== Windows x86, the 32-bit DLL: wine32 is not installed"
fi
exit $failed
