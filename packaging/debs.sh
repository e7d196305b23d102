#!/usr/bin/env bash
# Builds the Debian packages liboxserutl1, liboxserutl-dev and oxser from the
# tree's committed and uncommitted files (not its build directories) with
# Debian's own tooling, and checks them with lintian:
#
#   packaging/debs.sh [OUT_DIR]        (default: build-packages)
#
# Needs: dpkg-dev, debhelper, fakeroot, help2man, lintian and the build
# dependencies of debian/control.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(mkdir -p "${1:-build-packages}" && cd "${1:-build-packages}" && pwd)
version=$(dpkg-parsechangelog -S Version)
project=$(sed -n 's/^project(oxserutl VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$version" = "$project" ] || { echo "debs: debian/changelog says $version, CMakeLists.txt $project" >&2; exit 1; }

source=$out/oxserutl-$version
rm -rf "$source" && mkdir -p "$source"
git ls-files -z --cached --others --exclude-standard | tar --null -cf - -T - | tar -xf - -C "$source"
(cd "$source" && DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" dpkg-buildpackage -b -us -uc)
rm -rf "$source"
debs=$(ls "$out"/liboxserutl1_"$version"_*.deb "$out"/liboxserutl-dev_"$version"_*.deb "$out"/oxser_"$version"_*.deb)
lintian --fail-on error --suppress-tags initial-upload-closes-no-bugs $debs
echo "debs: $(echo $debs | xargs -n1 basename | tr '\n' ' ')"
