# Sourced by the Windows scripts (windows-screenshot.sh, windows-first-paint.sh,
# windows-package.sh): the Windows build as the CI stage makes it, in its
# build folder (build-win, or SROM_WIN_BUILD_DIR), and wine to run it with no
# display. Sets $repo and $build (absolute) and cd's to $repo.
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build=${SROM_WIN_BUILD_DIR:-build-win}
[[ "$build" == /* ]] || build="$repo/$build"

# windows_build TARGET...: configures the cross build and builds the targets.
windows_build() {
  ./scripts/bootstrap.sh --windows
  ./scripts/sqlite-for-windows.sh "$build/sqlite"
  cmake -S . -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-toolchain.cmake \
    -DSROM_SQLITE_AMALGAMATION_DIR="$build/sqlite" \
    -DCMAKE_BUILD_TYPE=Release -DSROM_BUILD_BENCH=OFF --no-warn-unused-cli >/dev/null
  cmake --build "$build" --target "$@" >/dev/null
}

# windows_wine: wine's environment on the build folder's prefix, prepared by
# wine-prefix.sh (null display driver, the window's font).
windows_wine() {
  ./scripts/bootstrap.sh --windows
  export WINEPREFIX="$build/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export PATH="/usr/lib/wine:$PATH"
  unset DISPLAY WAYLAND_DISPLAY
  ./scripts/wine-prefix.sh
  if [[ ! -f $WINEPREFIX/drive_c/windows/Fonts/marlett.ttf ]]; then
    echo "note: wine's own fonts (Debian's fonts-wine) are not installed: the" \
      "caption's buttons show as letters" >&2
  fi
}

# A Linux path as wine's programs name it.
dos_path() { printf 'Z:%s' "${1//\//\\}"; }

# scratch_station: a station folder ($station) that has programmed one unit
# on its simulated adapter and dumped it, so that the window opens on it
# without a first-start box; its MAC range is the README's. Removed when the
# script ends.
scratch_station() {
  station=$(mktemp -d "${TMPDIR:-/tmp}/srom-station.XXXXXX")
  trap 'rm -rf "$station"' EXIT
  local cli=$build/src/cli/srom-cli.exe dir
  dir=$(dos_path "$station")
  wine64 "$cli" --dir "$dir" sim create </dev/null >/dev/null 2>&1
  wine64 "$cli" --dir "$dir" --yes program </dev/null >/dev/null 2>&1
  wine64 "$cli" --dir "$dir" dump </dev/null >/dev/null 2>&1
  # EEPROM.dat's lines 4, 5 and 7: the current and maximum MAC address, the
  # current serial number.
  sed -i -e '4s/"[0-9A-F]*"/"00E04C680001"/' -e '5s/"[0-9A-F]*"/"00E04C68FFFF"/' \
    -e '7s/"[0-9A-F]*"/"00000000000001"/' "$station/EEPROM.dat"
}

# The version of the Windows build: CMake's project version, which the
# configure step writes into the build folder.
windows_version() {
  local file=$build/srom-version.txt
  [[ -s $file ]] || { echo "no $file: configure the Windows build first" >&2; return 1; }
  cat "$file"
}

# windows_release_files DIR [VERSION]: what the line gets, in both the zip and the MSI:
# srom-tool.exe and srom-cli.exe stripped of their symbols, and
# README-line.txt with Windows line ends, for Notepad.
windows_release_files() {
  local dir=$1 version=${2:-} exe
  [[ -n $version ]] || version=$(windows_version)
  mkdir -p "$dir"
  for exe in app/srom-tool.exe src/cli/srom-cli.exe; do
    x86_64-w64-mingw32-strip -o "$dir/$(basename "$exe")" "$build/$exe"
  done
  sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' packaging/windows/README-line.txt \
    >"$dir/README-line.txt"
}
