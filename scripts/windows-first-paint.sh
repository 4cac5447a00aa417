#!/usr/bin/env bash
# How long srom-tool.exe --sim takes from its start to its window's first
# paint under wine, against an empty dialog of the same template and build
# (win32_empty_window.exe): both print the wall-clock time of their first
# WM_PAINT (SROM_FIRST_PAINT_FILE) and end. Runs each SROM_PAINT_RUNS times
# (default 9), alternately, after one run each to warm wine up, and prints
# the medians and their ratio.
#
#   ./scripts/windows-first-paint.sh
set -euo pipefail
source "$(dirname "$0")/windows-env.sh"
windows_build srom-tool srom-cli win32_empty_window
windows_wine

scratch_station
stamp=$station/first-paint.txt
# Microseconds from the command's start to its first paint.
first_paint() {
  rm -f "$stamp"
  local start
  start=$(date +%s%N)
  SROM_FIRST_PAINT_FILE="$(dos_path "$stamp")" wine64 "$@" </dev/null >/dev/null 2>&1
  local painted
  painted=$(tr -d '\r\n' <"$stamp")
  echo $(((painted - start) / 1000))
}
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

tool=("$build/app/srom-tool.exe" --sim --dir "$(dos_path "$station")")
empty=("$build/tests/ui/win32/win32_empty_window.exe")
first_paint "${tool[@]}" >/dev/null
first_paint "${empty[@]}" >/dev/null
tool_us=()
empty_us=()
for ((i = 0; i < ${SROM_PAINT_RUNS:-9}; ++i)); do
  tool_us+=("$(first_paint "${tool[@]}")")
  empty_us+=("$(first_paint "${empty[@]}")")
done
t=$(median "${tool_us[@]}")
e=$(median "${empty_us[@]}")
echo "srom-tool.exe --sim:   ${tool_us[*]} us (median $t)"
echo "empty dialog:          ${empty_us[*]} us (median $e)"
awk -v t="$t" -v e="$e" 'BEGIN {printf "start to first paint: %.1f ms against %.1f ms, ratio %.2f\n", t / 1000, e / 1000, t / e}'
