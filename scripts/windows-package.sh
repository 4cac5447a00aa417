#!/usr/bin/env bash
# The Windows release for the line: srom-tool.exe and srom-cli.exe, built as
# the CI's Windows stage builds them (MinGW-w64, Release, linked statically)
# and stripped of their symbols, with README-line.txt, in one zip.
#
#   ./scripts/windows-package.sh   # writes build-win/srom-tool-windows-<version>.zip
set -euo pipefail
source "$(dirname "$0")/windows-env.sh"
windows_build srom-tool srom-cli

version=$(sed -n 's/^inline constexpr char kToolVersion\[\] = "\(.*\)";$/\1/p' \
  src/ui/window_texts.h)
[[ -n $version ]] || { echo "no kToolVersion in src/ui/window_texts.h" >&2; exit 1; }
name=srom-tool-windows-$version
stage=$build/package/$name
rm -rf "$build/package"
mkdir -p "$stage"
for exe in app/srom-tool.exe src/cli/srom-cli.exe; do
  x86_64-w64-mingw32-strip -o "$stage/$(basename "$exe")" "$build/$exe"
done
# Windows line ends, for Notepad.
sed 's/$/\r/' >"$stage/README-line.txt" <<TEXT
VELK KM62058 / 057D Windows SROM Tool $version

srom-tool.exe   the window that programs the adapters' EEPROM or eFuse
srom-cli.exe    the same Program, Dump and Erase from a command prompt

1. Give each station PC a folder of its own and copy both programs into it.
   The folder keeps everything of the station: EEPROM.dat (the settings and
   the next MAC address), SROM.dat, the logs and production-ledger.sqlite.
   One program at a time may use a folder.
2. Install the maker's test driver. srom-tool.exe asks for administrator
   rights when it starts: the driver needs them.
3. A first start in an empty folder says that SROM.dat and EEPROM.dat are
   missing and creates both. Set the MAC address range, then press Save.
4. Training without an adapter: "srom-tool.exe --sim" works on a simulated
   adapter kept in the same folder. "--dir FOLDER" opens another station
   folder than the program's own.

srom-cli.exe --help lists its commands; add "--device driver" to work on the
real adapter.
TEXT
(cd "$build/package" && cmake -E tar cf "../$name.zip" --format=zip "$name")
ls -l "$build/$name.zip"
unzip -l "$build/$name.zip" 2>/dev/null || true
