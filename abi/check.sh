#!/usr/bin/env bash
# Compares a build's ABI with the committed baseline of this directory:
#
#   abi/check.sh [--update] so BUILD_DIR               the Linux library of a RelWithDebInfo build
#   abi/check.sh [--update] dll DLL i386|x86-64        a DLL, built or installed (bin/ beside include/)
#
# - so: libabigail's abidw describes BUILD_DIR/liboxserutl.so (the exported
#   functions and variables, and every type of the public headers reached
#   from them: record structures, runtime classes, enumerations) and abidiff
#   compares it with liboxserutl.abi.
# - dll: the DLL's export table, one name per line, compared with
#   oxserutl-<machine>.exports (the layouts are those of the same headers,
#   checked above and, for the two Windows ABIs, by the tests).
#
# An incompatible change (a removed or changed function or variable, a
# structure or class whose size or layout changed, a changed enumerator)
# fails, unless the build's major version (include/oxserutl/version.h) is
# above the baseline's (the file `version`) and, for the shared object, its
# SONAME changed with it. Additions are reported and pass. After a release,
# or once an addition or an allowed break is meant, --update writes the
# build's description as the new baseline (and the version with it):
#
#   abi/check.sh --update so build
#   abi/check.sh --update dll build-windows-x86/bin/oxserutl.dll i386
#   abi/check.sh --update dll build-windows-x64/bin/oxserutl.dll x86-64
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
update=0
if [ "${1:-}" = "--update" ]; then update=1; shift; fi
kind=${1:-} subject=${2:-}
fail() { echo "abi: $*" >&2; exit 1; }
[ -n "$kind" ] && [ -n "$subject" ] || fail "usage: $0 [--update] so BUILD_DIR | dll DLL i386|x86-64"

version_of() {  # the OXSERUTL_VERSION_STRING of a version.h
  sed -n 's/^#define OXSERUTL_VERSION_STRING "\(.*\)"$/\1/p' "$1"
}
case $kind in
  so) headers=$subject/include ;;
  dll) headers=$(dirname "$subject")/../include ;;
  *) fail "unknown kind $kind" ;;
esac
[ -f "$headers/oxserutl/version.h" ] || fail "no $headers/oxserutl/version.h"
version=$(version_of "$headers/oxserutl/version.h")
baseline_version=$(cat "$here/version")
major=${version%%.*} baseline_major=${baseline_version%%.*}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ "$kind" = so ]; then
  library=$subject/liboxserutl.so
  [ -f "$library" ] || fail "no $library"
  baseline=$here/liboxserutl.abi
  abidw --headers-dir "$here/../include" --headers-dir "$headers" --drop-private-types --no-corpus-path \
        --no-show-locs --type-id-style hash --out-file "$work/new.abi" "$library"
  new=$work/new.abi
  soname=$(objdump -p "$library" | awk '$1 == "SONAME" {print $2}')
  [ "$soname" = "liboxserutl.so.$major" ] || fail "SONAME $soname does not carry the major version $major"
else
  machine=${3:-}
  case $machine in i386 | x86-64) ;; *) fail "machine must be i386 or x86-64" ;; esac
  [ -f "$subject" ] || fail "no $subject"
  baseline=$here/oxserutl-$machine.exports
  x86_64-w64-mingw32-objdump -p "$subject" |
    awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF==0 {on=0} on {print $NF}' | LC_ALL=C sort >"$work/new.exports"
  new=$work/new.exports
fi

if [ "$update" = 1 ]; then
  cp "$new" "$baseline"
  echo "$version" >"$here/version"
  echo "abi: $(basename "$baseline") is now the baseline of $version"
  exit 0
fi

if [ "$kind" = so ]; then
  status=0
  abidiff --suppressions "$here/std.suppr" "$baseline" "$new" >"$work/report" || status=$?
  [ $((status & 3)) = 0 ] || { cat "$work/report" >&2; fail "abidiff could not compare (status $status)"; }
  # Compatible: nothing removed or changed, whatever was added.
  incompatible=0
  if [ $((status & 8)) != 0 ] ||
     grep -Eq '(^|[^0-9])[1-9][0-9]* (Removed|Changed)' "$work/report"; then
    incompatible=1
  fi
  summary=$(grep -E 'changes summary' "$work/report" | sed 's/^/  /' || true)
else
  removed=$(LC_ALL=C comm -23 "$baseline" "$new")
  added=$(LC_ALL=C comm -13 "$baseline" "$new")
  incompatible=0
  [ -z "$removed" ] || incompatible=1
  {
    [ -z "$removed" ] || { echo "Removed exports:"; sed 's/^/  [D] /' <<<"$removed"; }
    [ -z "$added" ] || { echo "Added exports:"; sed 's/^/  [A] /' <<<"$added"; }
  } >"$work/report"
  summary="  $(grep -c . <<<"$removed" || true) removed, $(grep -c . <<<"$added" || true) added exports"
fi

name=$(basename "$subject"); [ "$kind" = so ] && name=liboxserutl.so
if [ "$incompatible" = 1 ]; then
  cat "$work/report"
  if [ "$major" -gt "$baseline_major" ]; then
    echo "abi: $name $version: incompatible with the baseline $baseline_version, allowed by the new major version"
    exit 0
  fi
  fail "$name $version: incompatible with the baseline $baseline_version; a break needs a new major version (and SOVERSION)"
fi
if [ -s "$work/report" ] && grep -q '\[A\]' "$work/report"; then
  cat "$work/report"
  echo "abi: $name $version: compatible with the baseline $baseline_version, with additions (abi/check.sh --update takes them in)"
else
  echo "abi: $name $version: the same ABI as the baseline $baseline_version"
fi
[ -z "${summary// /}" ] || echo "$summary"
