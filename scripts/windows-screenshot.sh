#!/usr/bin/env bash
# The README's picture of the window on Windows: srom-tool.exe --sim under
# wine's null display driver on a scratch station, saved by the program
# itself (SROM_WINDOW_PICTURE: BitBlt from the window's DC) and turned into
# PNG. Rerun after changing the layout or the Win32 view.
#
#   ./scripts/windows-screenshot.sh     # writes docs/screenshots/window-windows.png
set -euo pipefail
source "$(dirname "$0")/windows-env.sh"
windows_build srom-tool srom-cli
windows_wine

scratch_station
SROM_WINDOW_PICTURE="$(dos_path "$station/window.bmp")" \
  wine64 "$build/app/srom-tool.exe" --sim --dir "$(dos_path "$station")" </dev/null
out=docs/screenshots/window-windows.png
convert "$station/window.bmp" "$out"
echo "$out"
