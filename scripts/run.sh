#!/usr/bin/env bash
# Starts srom-tool on the simulated adapter, installing and building what it
# needs first. Without --dir the station is the folder "station" beside this
# repository's sources (created on first use): its EEPROM.dat, image files,
# logs, production ledger and simulated adapter live there.
#
#   ./scripts/run.sh                      the window (with the simulator's panel)
#   ./scripts/run.sh program              srom-cli: the same operations from a terminal
#   ./scripts/run.sh --help               srom-cli's commands
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
build=${SROM_BUILD_DIR:-build}

if [[ $# -eq 0 ]]; then
  ./scripts/bootstrap.sh --window --line
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target srom-tool >/dev/null
  station=${SROM_STATION:-$repo/station}
  mkdir -p "$station"
  exec "$repo/$build/app/srom-tool" --dir "$station"
fi

./scripts/bootstrap.sh --line
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target srom-cli >/dev/null
cli="$repo/$build/src/cli/srom-cli"
for arg in "$@"; do
  case "$arg" in
    -h|--help|-d|--dir|--dir=*|-d*) exec "$cli" "$@" ;;
  esac
done
station=${SROM_STATION:-$repo/station}
mkdir -p "$station"
exec "$cli" --dir "$station" "$@"
