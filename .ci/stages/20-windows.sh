#!/usr/bin/env bash
# The Windows build of the toolkit-free core and its tests: cross-compiled with
# MinGW-w64 (posix threads, linked statically) and run under wine, with no
# display. Installs what it needs, quietly when it is already there.
set -euo pipefail
cd "$(dirname "$0")/../.."

# The window's pictures become bitmaps with ImageMagick; its tests draw with
# Liberation Mono in place of Courier New, wine's own fonts, and Noto Sans CJK
# for the Chinese texts. The line's ledger is tested against a PostgreSQL
# server started on this side, with a certificate openssl makes for it.
./scripts/bootstrap.sh --windows postgresql openssl

# Wine keeps its prefix here; the build directory holds it so that CI starts
# from nothing and a developer's own wine is left alone.
# SROM_WIN_BUILD_DIR may be absolute or relative to the checkout.
build=${SROM_WIN_BUILD_DIR:-build-win}
[[ "$build" == /* ]] || build="$PWD/$build"
mkdir -p "$build"
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko install prompts
unset DISPLAY WAYLAND_DISPLAY
# Debian's wine64 keeps its loader and server out of PATH.
export PATH="/usr/lib/wine:$PATH"

# Debian has no SQLite for the cross compiler: the build compiles it in, from
# Debian's source package (kept in the build directory once generated).
./scripts/sqlite-for-windows.sh "$build/sqlite"
# Nor libpq and OpenSSL, for the line's ledger: built from Debian's source
# packages the first time (some 15 minutes at the lowest priority) and kept
# in the cache outside the checkout, where the next run finds them.
libpq=$(./scripts/libpq-for-windows.sh)
# The mixed line's test puts a Linux station beside the Windows ones: the
# srom-cli ./scripts/test.sh built, which CI builds before this stage.
linux_build=${SROM_BUILD_DIR:-build}
[[ "$linux_build" == /* ]] || linux_build="$PWD/$linux_build"
linux_cli="$linux_build/src/cli/srom-cli"
[[ -x $linux_cli ]] || linux_cli=""

cmake -S . -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-toolchain.cmake \
  -DSROM_SQLITE_AMALGAMATION_DIR="$build/sqlite" -DSROM_LIBPQ_DIR="$libpq" \
  -DSROM_LINUX_CLI="$linux_cli" \
  -DCMAKE_BUILD_TYPE=Release -DSROM_BUILD_BENCH=OFF -DSROM_WERROR="${SROM_WERROR:-OFF}" >/dev/null
cmake --build "$build"

# Wine's services must be up before ctest: otherwise the first test starts
# them, they inherit ctest's pipes and ctest waits on them forever. Started
# here, they hold no pipe of CI's either, and they end with this script.
mkdir -p "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p </dev/null >/dev/null 2>&1
wine64 cmd /c exit </dev/null >/dev/null 2>&1
# The window's tests draw with no display (the null driver) and in the
# window's font.
./scripts/wine-prefix.sh

ctest --test-dir "$build" --output-on-failure -j2
