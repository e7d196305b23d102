#!/usr/bin/env bash
# Uses what packaging/debs.sh and packaging/windows-zip.sh made, as a user
# would (run as root or with sudo; the packages are removed again):
#
#   packaging/check-installed.sh [OUT_DIR]      (default: build-packages)
#
# - installs the three Debian packages with apt-get (dependencies resolve),
#   builds the consumer program against the system's installation with
#   find_package and with pkg-config (no prefix given) and runs it, runs
#   oxser from PATH on a sample and finds its manual page, then removes them;
# - unpacks the x86-64 Windows archive, builds the consumer with MinGW
#   against it and runs it under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(cd "${1:-build-packages}" && pwd)
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
version=$(dpkg-parsechangelog -S Version)
fail() { echo "check-installed: $*" >&2; exit 1; }

consumer() {  # mode build-dir extra-options... ; prints the consumer's line
  local mode=$1 dir=$2; shift 2
  rm -rf "$dir"
  ctest --build-and-test tests/consumer "$dir" --build-generator "Unix Makefiles" \
        --build-options -DOXSERUTL_CONSUMER_MODE="$mode" -DCMAKE_BUILD_TYPE=Release "$@" \
        --test-command ${emulator:-} "$dir/consumer${suffix:-}" 2>&1 | grep -o 'consumer ok.*' ||
    fail "the $mode consumer in $dir did not run"
}

export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get install -y -qq "$out/liboxserutl1_${version}_"*.deb "$out/liboxserutl-dev_${version}_"*.deb \
  "$out/oxser_${version}_"*.deb >/dev/null
trap '$SUDO apt-get remove -y -qq oxser liboxserutl-dev liboxserutl1 >/dev/null' EXIT
for mode in package pkgconfig; do
  echo "check-installed: system $mode: $(consumer $mode "$out/consumer-system-$mode")"
done
[ "$(command -v oxser)" = /usr/bin/oxser ] || fail "oxser is not on PATH as /usr/bin/oxser"
version_line=$(oxser --version)
grep -qF "liboxserutl $version loaded" <<<"$version_line" || fail "oxser --version: $(oxser --version)"
# The whole dump is read before it is searched: with pipefail, `grep -q`
# leaving at the first match would make oxser's write fail (SIGPIPE).
dump=$(oxser dump --type acl_ext_t samples/acl.ber) || fail "oxser dump of samples/acl.ber failed"
grep -qF 'acl_ext_t' <<<"$dump" || fail "oxser dump of samples/acl.ber does not name acl_ext_t"
echo "check-installed: $(oxser --version); manual page $(man -w oxser)"
$SUDO apt-get remove -y -qq oxser liboxserutl-dev liboxserutl1 >/dev/null
trap - EXIT
[ ! -e /usr/bin/oxser ] || fail "oxser stayed after removal"

unpacked=$out/unpacked
rm -rf "$unpacked" && mkdir -p "$unpacked"
unzip -q "$out/oxserutl-$version-windows-x64.zip" -d "$unpacked"
prefix=$unpacked/oxserutl-$version-windows-x64
emulator="env WINEDEBUG=-all wine" suffix=.exe
echo "check-installed: Windows x86-64 archive: $(consumer package "$out/consumer-windows-x64" \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchains/mingw-x86_64.cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_ROOT_PATH="$prefix")"
