#!/usr/bin/env bash
# The Windows installer for the line: srom-tool-<version>-x64.msi, built with
# wixl from packaging/windows/srom-tool.wxs out of the Windows build (the CI
# stage's, MinGW-w64, Release): the stripped programs and README-line.txt in
# Program Files\srom-tool, the Start menu's shortcut onto the station in
# %ProgramData%\srom-tool\station, per machine, upgrading any older version.
#
#   ./scripts/windows-msi.sh [--out DIR] [--as-version X.Y.Z]
#
# Writes into DIR (default: the build folder). The version is CMake's project
# version; --as-version packs the same programs as a later version, for the
# upgrade test alone (the CI's packaging stage), and refuses an older one.
set -euo pipefail
source "$(dirname "$0")/windows-env.sh"

out=$build
as_version=
while [[ $# -gt 0 ]]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    --as-version) as_version=$2; shift 2 ;;
    *) echo "usage: $0 [--out DIR] [--as-version X.Y.Z]" >&2; exit 2 ;;
  esac
done

./scripts/bootstrap.sh --packages
windows_build srom-tool srom-cli
version=$(windows_version)
if [[ -n $as_version ]]; then
  if [[ ! $as_version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] ||
     [[ $(printf '%s\n' "$version" "$as_version" | sort -V | tail -1) != "$as_version" ]] ||
     [[ $as_version == "$version" ]]; then
    echo "windows-msi: --as-version must be a later X.Y.Z than the build's $version" >&2
    exit 2
  fi
  version=$as_version
fi

files=$build/msi-files
rm -rf "$files"
windows_release_files "$files" "$version"
mkdir -p "$out"
msi=$(cd "$out" && pwd)/srom-tool-$version-x64.msi
cp res/app_icon.ico "$files/"
# wixl takes the architecture from -a alone, and the files' sources only as
# paths relative to the folder it runs in.
(cd "$files" && wixl -a x64 -D Version="$version" -D BinDir=. -D IconFile=app_icon.ico \
  -o "$msi" "$repo/packaging/windows/srom-tool.wxs")
echo "$msi"
