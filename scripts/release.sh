#!/usr/bin/env bash
# A release for the line, of the project's one version (CMake's), in dist/:
#
#   srom-tool_<version>_<arch>.deb      Linux stations (CPack)
#   srom-tool-<version>-x64.msi         Windows stations, installed (wixl)
#   srom-tool-windows-<version>.zip     Windows stations, portable copy
#   SHA256SUMS                          sha256sum -c SHA256SUMS checks them
#
#   ./scripts/release.sh
#
# The Linux programs are built in build-release (Release, no tests;
# SROM_RELEASE_BUILD_DIR names another), the Windows ones in the Windows
# stage's build-win (SROM_WIN_BUILD_DIR). dist/ is emptied first.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
./scripts/bootstrap.sh --window --line --packages

linux=${SROM_RELEASE_BUILD_DIR:-build-release}
dist=$repo/dist
rm -rf "$dist"
mkdir -p "$dist"

cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSROM_BUILD_TESTS=OFF \
  -DSROM_BUILD_BENCH=OFF >/dev/null
cmake --build "$linux" --target srom-cli srom-tool
version=$(cat "$linux/srom-version.txt")
(cd "$linux" && cpack -G DEB -B "$dist/cpack" >/dev/null)
mv "$dist"/cpack/*.deb "$dist/"
rm -rf "$dist/cpack"

./scripts/windows-msi.sh --out "$dist" >/dev/null
./scripts/windows-package.sh >/dev/null
source scripts/windows-env.sh
[[ $(windows_version) == "$version" ]] ||
  { echo "release: the Windows build is $(windows_version), the Linux one $version" >&2; exit 1; }
cp "$build/srom-tool-windows-$version.zip" "$dist/"

(cd "$dist" && sha256sum -- *.deb *.msi *.zip >SHA256SUMS)
ls -l "$dist"
cat "$dist/SHA256SUMS"
