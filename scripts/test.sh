#!/usr/bin/env bash
# Builds srom-tool and runs the whole test suite. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
# The window and its tests: Qt, the fonts it is laid out in, an X server and
# a keyboard for the scanner test. The line's ledger: libpq to build it, and
# the PostgreSQL server its tests start and stop themselves.
./scripts/bootstrap.sh --window --line --tests
build=${SROM_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSROM_WERROR="${SROM_WERROR:-OFF}" >/dev/null
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure -j2
