#!/usr/bin/env bash
# The window logic and its jobs hand work between the window thread and a
# worker without locks on the settings: ThreadSanitizer keeps that true.
set -euo pipefail
cd "$(dirname "$0")/../.."
# Line tables are all its report needs.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DSROM_BUILD_GUI=OFF \
  -DSROM_SANITIZE=thread -DSROM_BUILD_BENCH=OFF -DSROM_WERROR="${SROM_WERROR:-OFF}" >/dev/null
cmake --build build-tsan --target window_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  build-tsan/tests/ui/window_tests --gtest_brief=1
