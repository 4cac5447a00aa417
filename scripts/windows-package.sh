#!/usr/bin/env bash
# The Windows release for the line: srom-tool.exe and srom-cli.exe, built as
# the CI's Windows stage builds them (MinGW-w64, Release, linked statically)
# and stripped of their symbols, with README-line.txt, in one zip: the
# portable copy, whose station folder is the program's own folder.
#
#   ./scripts/windows-package.sh   # writes build-win/srom-tool-windows-<version>.zip
set -euo pipefail
source "$(dirname "$0")/windows-env.sh"
windows_build srom-tool srom-cli

version=$(windows_version)
name=srom-tool-windows-$version
rm -rf "$build/package"
windows_release_files "$build/package/$name"
(cd "$build/package" && cmake -E tar cf "../$name.zip" --format=zip "$name")
ls -l "$build/$name.zip"
unzip -l "$build/$name.zip" 2>/dev/null || true
