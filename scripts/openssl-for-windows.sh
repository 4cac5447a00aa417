#!/usr/bin/env bash
# OpenSSL for the Windows cross build, as static libraries:
#
#   scripts/openssl-for-windows.sh
#
# prints the folder that holds include/openssl/ and lib/libssl.a,
# lib/libcrypto.a, which libpq is built against (scripts/libpq-for-windows.sh)
# so that a Windows station reaches the line's server over TLS.
#
# Debian has no OpenSSL for the MinGW-w64 cross compiler, so it is built from
# Debian's own openssl source package, with Debian's patches: no DLLs, no
# engines or loadable modules, no legacy provider, no tests. Built once per
# source version and script content, into the cache that
# scripts/debian-source.sh describes (about 10 minutes on two cores, at the
# lowest priority); after that it only prints the folder.
#
# Quiet on success; on failure says which step failed and shows its log, and
# keeps the work folder for a look.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=debian-source.sh
source "$here/debian-source.sh"
dep_init openssl-for-windows

# perl runs OpenSSL's Configure; dpkg-source unpacks the source package and
# applies Debian's patches; apt-get fetches it, checked against the archive
# keyring.
"$here/bootstrap.sh" --windows perl make dpkg-dev debian-archive-keyring >&2

version=$(dep_source_version openssl)
key=$(dep_key "$version" "$here/openssl-for-windows.sh" "$here/debian-source.sh")
prefix=$dep_cache/openssl/$key
ssl_dir="C:/Program Files/Common Files/SSL"

build() {
  local work=$prefix.work
  rm -rf "$work"
  dep_source_fetch openssl "$work"
  local tree=$work/src
  [[ -x $tree/Configure ]] || dep_fail "the openssl source package holds no Configure"
  # The same compiler as the cross build (cmake/mingw-w64-toolchain.cmake).
  (cd "$tree" && dep_step "configuring OpenSSL for mingw64" "$work/configure.log" \
    env CC=gcc-posix ./Configure mingw64 no-shared no-tests no-module no-engine no-legacy \
    --cross-compile-prefix=x86_64-w64-mingw32- --prefix="$work/out" --libdir=lib)
  # The folders OpenSSL reads its configuration (and would load modules)
  # from are compiled in: Windows' own place for them, which only
  # administrators may write, never this build's path. Configure takes no
  # Windows path on Linux, so make is given them.
  local dirs=("OPENSSLDIR=$ssl_dir" "ENGINESDIR=$ssl_dir/engines-3"
              "MODULESDIR=$ssl_dir/ossl-modules")
  # Only idle cycles: other builds on the machine go first.
  (cd "$tree" && dep_step "building OpenSSL's libraries" "$work/make.log" \
    nice -n 19 make -j2 "${dirs[@]}" build_libs)
  (cd "$tree" && dep_step "installing OpenSSL's headers and libraries" "$work/install.log" \
    make "${dirs[@]}" install_dev)
  [[ -f $work/out/lib/libssl.a && -f $work/out/lib/libcrypto.a ]] ||
    dep_fail "OpenSSL's build left no libssl.a or libcrypto.a" "$work/install.log"
  cat >"$work/out/VERSION" <<EOF
OpenSSL from Debian's openssl source package $version, with Debian's patches,
built for mingw64 (static; no engines, modules, legacy provider or tests).
Built by scripts/openssl-for-windows.sh.
EOF
  # Into place in one step: a folder that is there is complete.
  mv "$work/out" "$prefix"
  rm -rf "$work"
}

if [[ ! -f $prefix/VERSION ]]; then
  # One build at a time on the machine; a second run waits and finds it done.
  exec 8>"$dep_cache/openssl.lock"
  flock 8
  [[ -f $prefix/VERSION ]] || build
  dep_prune openssl "$(basename "$prefix")"
fi
echo "$prefix"
