#!/usr/bin/env bash
# How long srom-tool.exe --sim takes from its start to its window's first
# paint under wine, against the same window built from the layout table with
# no logic, no station and no device (win32_layout_window.exe), and, for
# comparison, an empty dialog of the same template (win32_empty_window.exe):
# each prints the wall-clock time of its first WM_PAINT
# (SROM_FIRST_PAINT_FILE) and ends. Runs each SROM_PAINT_RUNS times (default
# 9), in turn, after one run each to warm wine up, and prints the medians and
# srom-tool.exe's ratio to the layout window (target <= 1.15).
#
#   ./scripts/windows-first-paint.sh
set -euo pipefail
source "$(dirname "$0")/windows-env.sh"
windows_build srom-tool srom-cli win32_layout_window win32_empty_window
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
layout=("$build/tests/ui/win32/win32_layout_window.exe")
empty=("$build/tests/ui/win32/win32_empty_window.exe")
first_paint "${tool[@]}" >/dev/null
first_paint "${layout[@]}" >/dev/null
first_paint "${empty[@]}" >/dev/null
tool_us=()
layout_us=()
empty_us=()
for ((i = 0; i < ${SROM_PAINT_RUNS:-9}; ++i)); do
  tool_us+=("$(first_paint "${tool[@]}")")
  layout_us+=("$(first_paint "${layout[@]}")")
  empty_us+=("$(first_paint "${empty[@]}")")
done
t=$(median "${tool_us[@]}")
l=$(median "${layout_us[@]}")
e=$(median "${empty_us[@]}")
echo "srom-tool.exe --sim:   ${tool_us[*]} us (median $t)"
echo "layout window:         ${layout_us[*]} us (median $l)"
echo "empty dialog:          ${empty_us[*]} us (median $e)"
awk -v t="$t" -v l="$l" -v e="$e" 'BEGIN {
  printf "start to first paint: %.1f ms against the layout window'"'"'s %.1f ms, ratio %.2f (target <= 1.15): %s\n",
    t / 1000, l / 1000, t / l, t / l <= 1.15 ? "met" : "MISSED"
  printf "for comparison, the empty dialog: %.1f ms (srom-tool.exe %.2f, layout window %.2f)\n",
    e / 1000, t / e, l / e
}'
