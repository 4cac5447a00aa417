#!/usr/bin/env bash
# Starts srom-tool from a terminal (srom-cli) on the simulated adapter,
# installing and building what it needs first. Without --dir the station is
# the folder "station" beside this repository's sources (created on first
# use): its EEPROM.dat, image files, logs and simulated adapter live there.
#
#   ./scripts/run.sh sim create --size 256
#   ./scripts/run.sh program
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
./scripts/bootstrap.sh
build=${SROM_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target srom-cli >/dev/null
cli="$repo/$build/src/cli/srom-cli"

[[ $# -eq 0 ]] && exec "$cli" --help
for arg in "$@"; do
  case "$arg" in
    -d|--dir|--dir=*|-d*) exec "$cli" "$@" ;;
  esac
done
station=${SROM_STATION:-$repo/station}
mkdir -p "$station"
exec "$cli" --dir "$station" "$@"
