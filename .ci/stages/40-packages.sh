#!/usr/bin/env bash
# The packages as a line's IT meets them, on the build folders the earlier
# steps made (build: the README's test command; build-win: the Windows
# stage), so that only the packaging itself is added:
#
#   .deb  made with CPack and checked with lintian; installed with apt-get;
#         srom-cli --version; srom-tool started under Xvfb by the desktop
#         entry's own command in an empty user data folder (the first start's
#         boxes answered with OK, the window drawn); removed, the station
#         left as it was.
#   MSI   made with wixl, and a later version of it; installed silently
#         under wine; srom-cli.exe --version from Program Files; a unit
#         programmed on the simulated adapter in the station the Start menu
#         opens; upgraded to the later version (a second unit continues the
#         counters; the older MSI is then refused) and uninstalled, the
#         station's EEPROM.dat, ledger and log unchanged by both.
#
# Every step that waits has a deadline. The packages and the lintian report
# are left in build/ci-packages.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD
started=$SECONDS

./scripts/bootstrap.sh --window --line --tests --windows --packages
build=${SROM_BUILD_DIR:-build}
win=${SROM_WIN_BUILD_DIR:-build-win}
[[ "$win" == /* ]] || win="$repo/$win"
out=$repo/$build/ci-packages
rm -rf "$out"
mkdir -p "$out"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/srom-packages.XXXXXX")

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
fail() { echo "packages: $*" >&2; exit 1; }
# sums FOLDER: the station's files that must outlive any install, with
# their SHA-256.
sums() {
  (cd "$1" && sha256sum EEPROM.dat production-ledger.sqlite Serial-MAC.log)
}

xvfb_pid=
cleanup() {
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null || true
  if [[ -n ${WINEPREFIX:-} ]]; then wineserver -k >/dev/null 2>&1 || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT

echo "-- .deb"
# The test command's build folder, configured again (its own settings kept)
# so that it finds help2man; made as that command makes it when the stage
# runs alone.
if [[ -f $build/CMakeCache.txt ]]; then
  cmake -S . -B "$build" >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSROM_WERROR="${SROM_WERROR:-OFF}" >/dev/null
fi
cmake --build "$build" --target srom-cli srom-tool >/dev/null
version=$(cat "$build/srom-version.txt")
(cd "$build" && timeout 300 cpack -G DEB -B "$out/deb" >/dev/null)
deb=$out/deb/srom-tool_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || fail "cpack made no $deb"
# Every tag is shown, information tags too; an error or a warning fails
# the stage.
lintian_rc=0
timeout 300 lintian --display-info --fail-on error,warning "$deb" >"$out/lintian.txt" \
  2>"$scratch/lintian.err" || lintian_rc=$?
if [[ -s $out/lintian.txt ]]; then cat "$out/lintian.txt"; else echo "lintian: no tags"; fi
((lintian_rc == 0)) || fail "lintian failed ($lintian_rc): $(cat "$scratch/lintian.err")"

$sudo apt-get remove -y -qq srom-tool >/dev/null 2>&1 || true
DEBIAN_FRONTEND=noninteractive timeout 600 $sudo apt-get install -y -qq "$deb" >/dev/null
[[ $(srom-cli --version) == "srom-cli $version" ]] || fail "srom-cli --version: $(srom-cli --version)"
[[ $(srom-tool --version) == "srom-tool $version" ]] || fail "srom-tool --version"
command=$(sed -n 's/^Exec=//p' /usr/share/applications/srom-tool.desktop)
[[ -n $command ]] || fail "the desktop entry has no Exec line"

# The desktop entry's start: the menu's own folder, an empty user data
# folder, an X server of its own.
menu_folder=$scratch/menu-folder
export HOME=$scratch/home XDG_DATA_HOME=$scratch/data
station=$XDG_DATA_HOME/srom-tool/station
mkdir -p "$menu_folder" "$HOME"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" >/dev/null 2>&1 &
xvfb_pid=$!
deadline=$((SECONDS + 30))
until [[ -s $scratch/display ]]; do
  ((SECONDS < deadline)) || fail "Xvfb gave no display number within 30 s"
  sleep 0.1
done
export DISPLAY=:$(head -1 "$scratch/display")

# The first start says that SROM.dat and EEPROM.dat are missing: each box
# is answered with OK, as an operator does; the window's first paint then
# ends the program (SROM_TOOL_EXIT_AFTER_FIRST_PAINT).
(cd "$menu_folder" && SROM_TOOL_EXIT_AFTER_FIRST_PAINT=1 timeout 60 $command \
  >"$scratch/first-start.out" 2>&1) &
tool=$!
boxes=0
deadline=$((SECONDS + 60))
while kill -0 "$tool" 2>/dev/null && ((SECONDS < deadline)); do
  box=$(timeout 5 xdotool search --onlyvisible --name '^KM62058_057D_Srom$' 2>/dev/null | head -1 || true)
  if [[ -n $box ]]; then
    timeout 5 xdotool windowfocus --sync "$box" key Return || true
    boxes=$((boxes + 1))
    sleep 0.3
  fi
  sleep 0.1
done
wait "$tool" || fail "the desktop start failed: $(cat "$scratch/first-start.out")"
grep -qx "first paint" "$scratch/first-start.out" || fail "the window was not drawn"
[[ -f $station/EEPROM.dat && -f $station/SROM.dat ]] ||
  fail "the desktop start made no station in $station"
[[ -z $(ls -A "$menu_folder") ]] || fail "the desktop start wrote into the menu's folder"
echo "desktop start: $boxes first-start boxes answered, window drawn, station in $station"

# The window on that station, seen on the X server and pictured.
(cd "$menu_folder" && timeout 60 $command >/dev/null 2>&1) &
tool=$!
window=$(timeout 30 xdotool search --sync --onlyvisible --name "VELK KM62058" | head -1 || true)
[[ -n $window ]] || fail "the window did not appear"
sleep 1
timeout 30 import -window "$window" "$out/deb-window.png" || true
kill "$tool" 2>/dev/null || true
wait "$tool" 2>/dev/null || true
kill "$xvfb_pid" 2>/dev/null || true
xvfb_pid=

# A unit on the same station, then the package removed (and purged): the
# station stays as it was.
srom-cli --dir "$station" sim create >/dev/null 2>&1 || fail "sim create"
srom-cli --dir "$station" --yes program >/dev/null 2>&1 || fail "program"
sums "$station" >"$scratch/deb-station.sums"
DEBIAN_FRONTEND=noninteractive timeout 300 $sudo apt-get purge -y -qq srom-tool >/dev/null
for file in /usr/bin/srom-cli /usr/bin/srom-tool /usr/share/applications/srom-tool.desktop; do
  [[ ! -e $file ]] || fail "the removal left $file"
done
(cd "$station" && sha256sum --quiet -c "$scratch/deb-station.sums") ||
  fail "the removal changed the station"
echo "deb: installed, started, removed; the station kept"
deb_seconds=$((SECONDS - started))

echo "-- MSI"
source scripts/windows-env.sh
build=$win
next=$(echo "$version" | awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }')
./scripts/windows-msi.sh --out "$out/msi" >/dev/null
./scripts/windows-msi.sh --out "$out/msi" --as-version "$next" >/dev/null
msi=$out/msi/srom-tool-$version-x64.msi
msi_next=$out/msi/srom-tool-$next-x64.msi

# A prefix of its own, as a fresh station PC; wine writes no desktop files.
export WINEPREFIX=$scratch/wineprefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export PATH="/usr/lib/wine:$PATH"
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
timeout 300 wine64 cmd /c exit </dev/null >/dev/null 2>&1
drive=$WINEPREFIX/drive_c
programs="$drive/Program Files/srom-tool"
data=$drive/ProgramData/srom-tool/station
# The Start menu's shortcut, when there is one: Windows puts a per-machine
# install's into the Start menu of all users, wine's msiexec into the
# installing user's.
installed_shortcut() {
  local lnk
  for lnk in "$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/SROM Tool.lnk" \
             "$drive"/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/SROM\ Tool.lnk; do
    if [[ -f $lnk ]]; then echo "$lnk"; fi
  done
}
msiexec() { timeout 300 wine64 msiexec "$@" /qn </dev/null >/dev/null 2>&1; }
cli() { timeout 120 wine64 'C:\Program Files\srom-tool\srom-cli.exe' "$@" </dev/null; }
station_dir='C:\ProgramData\srom-tool\station'

msiexec /i "$(dos_path "$msi")" || fail "msiexec /i $msi failed"
for file in srom-tool.exe srom-cli.exe README-line.txt; do
  [[ -f $programs/$file ]] || fail "the MSI installed no $file"
done
[[ -d $data ]] || fail "the MSI made no station folder"
shortcut=$(installed_shortcut)
[[ -n $shortcut ]] || fail "the MSI made no Start menu shortcut"
strings -el "$shortcut" | grep -qF -- "--dir \"$station_dir\"" ||
  fail "the shortcut does not open $station_dir"
got=$(cd "$programs" && timeout 120 wine64 ./srom-cli.exe --version </dev/null | tr -d '\r')
[[ $got == "srom-cli $version" ]] || fail "srom-cli.exe --version: $got"
got=$(cd "$programs" && timeout 120 wine64 ./srom-tool.exe --version </dev/null | tr -d '\r')
[[ $got == "srom-tool $version" ]] || fail "srom-tool.exe --version: $got"

cli --dir "$station_dir" --device sim sim create >/dev/null 2>&1 || fail "sim create"
cli --dir "$station_dir" --device sim --yes program 2>&1 | tr -d '\r' | tail -1 | grep -qx PASS ||
  fail "the first unit did not pass"
sums "$data" >"$scratch/msi-station.sums"
units=$(grep -c . "$data/Serial-MAC.log")

msiexec /i "$(dos_path "$msi_next")" || fail "the upgrade to $next failed"
(cd "$data" && sha256sum --quiet -c "$scratch/msi-station.sums") || fail "the upgrade changed the station"
[[ $(find "$drive" -name srom-cli.exe | wc -l) -eq 1 ]] || fail "the upgrade left two copies"
got=$(cli --version | tr -d '\r')
[[ $got == "srom-cli $version" ]] || fail "after the upgrade srom-cli.exe --version: $got"
# The next unit continues the station's counters.
cli --dir "$station_dir" --device sim --yes program 2>&1 | tr -d '\r' | tail -1 | grep -qx PASS ||
  fail "the unit after the upgrade did not pass"
[[ $(grep -c . "$data/Serial-MAC.log") -eq $((units + 1)) ]] ||
  fail "Serial-MAC.log does not hold both units"
sums "$data" >"$scratch/msi-station.sums"
# The older MSI again: refused, the newer one stays.
! msiexec /i "$(dos_path "$msi")" || fail "the older MSI replaced the newer one"
[[ -f $programs/srom-cli.exe ]] || fail "the refused older MSI removed the programs"

msiexec /x "$(dos_path "$msi_next")" || fail "msiexec /x failed"
[[ ! -e $programs/srom-cli.exe && -z $(installed_shortcut) ]] ||
  fail "the uninstall left the programs or the shortcut"
(cd "$data" && sha256sum --quiet -c "$scratch/msi-station.sums") || fail "the uninstall changed the station"
echo "msi: installed, unit programmed, upgraded to $next, uninstalled; the station kept"

ls -l "$deb" "$msi" "$msi_next" | tee "$out/sizes.txt"
echo "packages: .deb $deb_seconds s, MSI $((SECONDS - started - deb_seconds)) s"
