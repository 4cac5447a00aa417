#!/usr/bin/env bash
# Builds srom-tool and runs the whole test suite. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/bootstrap.sh
build=${SROM_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSROM_WERROR="${SROM_WERROR:-OFF}" >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
