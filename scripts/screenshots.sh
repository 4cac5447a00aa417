#!/usr/bin/env bash
# Pictures of the window in each of the four device selections, as the README
# shows them: the real window on Qt's offscreen platform (no display needed),
# on a simulated adapter in a scratch folder. Rerun after changing the layout.
#
#   ./scripts/screenshots.sh            # writes docs/screenshots/window-*.png
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
./scripts/bootstrap.sh --window
build=${SROM_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target window_screenshots >/dev/null
"$build/app/window_screenshots" "$repo/docs/screenshots" 2>/dev/null
