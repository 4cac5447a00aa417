#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
# Quiet when everything is already there; safe to run any number of times.
#
#   ./scripts/bootstrap.sh [SET...] [PACKAGE...]
#
# The core build's packages always; each named set adds its own, so that
# every script asks for what it needs by name:
#   --window   the Qt window and the fonts it is laid out in
#   --line     libpq, for the line's ledger on a PostgreSQL server
#   --tests    what the test suite starts: an X server and a keyboard for the
#              scanner test, a PostgreSQL server for the line's ledger
#   --windows  the MinGW-w64 cross compiler, the bitmaps' converter, wine
#              and the fonts the Windows window is drawn in
#   --packages what makes and checks the packages: dpkg-dev (dpkg-shlibdeps
#              for the .deb's dependencies), help2man (the manual pages),
#              lintian, wixl (the MSI) and msitools (reads an MSI back)
set -euo pipefail

packages=(g++ cmake ninja-build googletest libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev libsqlite3-dev)
for arg in "$@"; do
  case "$arg" in
    --window) packages+=(qt6-base-dev fonts-liberation fonts-noto-cjk) ;;
    --line) packages+=(libpq-dev) ;;
    --tests) packages+=(xvfb xauth xdotool postgresql) ;;
    --windows) packages+=(g++-mingw-w64-x86-64-posix imagemagick wine64 fonts-liberation fonts-wine fonts-noto-cjk) ;;
    --packages) packages+=(dpkg-dev help2man lintian wixl msitools) ;;
    --*) echo "bootstrap: unknown set $arg" >&2; exit 2 ;;
    *) packages+=("$arg") ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
