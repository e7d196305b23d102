#!/usr/bin/env bash
# Packs a built Windows preset into a ZIP archive:
#
#   packaging/windows-zip.sh windows-x86|windows-x64 [OUT_DIR]   (default: build-packages)
#
# oxserutl-<version>-<preset>.zip holds bin/ (oxserutl.dll, the runtime DLLs
# it needs, oxser.exe), lib/ (liboxserutl.dll.a for MinGW, oxserutl.lib for
# Microsoft's linker, the CMake package, the .pc), include/, LICENSE and
# README.md: what `cmake --install` of the preset writes, and the two texts.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=$1
out=$(mkdir -p "${2:-build-packages}" && cd "${2:-build-packages}" && pwd)
build=build-$preset
version=$(sed -n 's/^#define OXSERUTL_VERSION_STRING "\(.*\)"$/\1/p' "$build/include/oxserutl/version.h")
name=oxserutl-$version-$preset
stage=$out/$name
rm -rf "$stage" "$out/$name.zip"
cmake --install "$build" --prefix "$stage" >/dev/null
cp LICENSE README.md "$stage/"
for f in bin/oxserutl.dll bin/oxser.exe lib/liboxserutl.dll.a lib/oxserutl.lib lib/cmake/oxserutl/oxserutlConfig.cmake \
         lib/pkgconfig/oxserutl.pc include/oxserutl/oxserutl.h include/oxserutl/version.h; do
  [ -f "$stage/$f" ] || { echo "windows-zip: $name lacks $f" >&2; exit 1; }
done
(cd "$out" && zip -qr "$name.zip" "$name")
rm -rf "$stage"
echo "windows-zip: $out/$name.zip ($(unzip -Z1 "$out/$name.zip" | grep -vc '/$') files)"
