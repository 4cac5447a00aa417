#!/usr/bin/env bash
# libpq for the Windows cross build, as static libraries:
#
#   scripts/libpq-for-windows.sh
#
# prints the folder that holds include/libpq-fe.h (with the two headers it
# includes) and lib/libpq.a, lib/libssl.a, lib/libcrypto.a, which
# cmake/SromLibpq.cmake makes the PostgreSQL::PostgreSQL target of: the
# line's ledger in srom-tool.exe and srom-cli.exe, over TLS when the address
# asks for it, with no DLL beside the programs.
#
# Debian has no libpq for the MinGW-w64 cross compiler, so it is built from
# Debian's postgresql-15 source package (the libpq5 the Linux build links),
# with Debian's patches, against OpenSSL from scripts/openssl-for-windows.sh.
# Only what libpq needs is built: the backend's generated headers, the port
# and common libraries and libpq's own objects. PostgreSQL makes libpq.a an
# import library for its DLL on Windows, so the static library is put
# together here: libpq's objects with the port and common code they call.
# Built once per source version, script content and OpenSSL build, into the
# cache that scripts/debian-source.sh describes (some minutes on two cores,
# at the lowest priority); after that it only prints the folder.
#
# Quiet on success; on failure says which step failed and shows its log, and
# keeps the work folder for a look.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=debian-source.sh
source "$here/debian-source.sh"
dep_init libpq-for-windows

# perl, bison and flex make the backend's generated headers; dpkg-source
# unpacks the source package and applies Debian's patches; apt-get fetches
# it, checked against the archive keyring.
"$here/bootstrap.sh" --windows perl bison flex make dpkg-dev debian-archive-keyring >&2

ssl=$("$here/openssl-for-windows.sh")
package=postgresql-15
version=$(dep_source_version $package)
key=$(dep_key "$version" "$here/libpq-for-windows.sh" "$here/debian-source.sh" \
  <(echo "$ssl"))
prefix=$dep_cache/libpq/$key
host=x86_64-w64-mingw32

# libpq on Windows brings its own pthread_* functions (a mutex over a
# critical section, thread-local keys) under the standard names, which
# winpthreads defines as well in the cross build's static -posix link. They
# are renamed in every object of the library, callers included, so that
# libpq keeps its own and the program keeps winpthreads'.
renamed=(pthread_self pthread_setspecific pthread_getspecific pthread_mutex_init
         pthread_mutex_lock pthread_mutex_unlock)

build() {
  local work=$prefix.work
  rm -rf "$work"
  mkdir -p "$(dirname "$prefix")"
  dep_source_fetch $package "$work"
  local tree=$work/src
  [[ -x $tree/configure ]] || dep_fail "the $package source package holds no configure"
  # The same compiler as the cross build (cmake/mingw-w64-toolchain.cmake).
  # OpenSSL's static libraries need these Windows libraries after them for
  # configure's test programs to link.
  (cd "$tree" && dep_step "configuring PostgreSQL for $host" "$work/configure.log" \
    ./configure --host=$host CC=$host-gcc-posix \
    --without-readline --without-zlib --without-icu --without-gssapi --without-ldap \
    --disable-nls --with-ssl=openssl \
    CPPFLAGS="-I$ssl/include" LDFLAGS="-L$ssl/lib" \
    LIBS="-lcrypt32 -lws2_32 -lgdi32 -ladvapi32 -luser32")
  # Only idle cycles: other builds on the machine go first.
  local make=(nice -n 19 make -j2)
  (cd "$tree" && dep_step "generating the backend's headers" "$work/headers.log" \
    "${make[@]}" -C src/backend generated-headers)
  (cd "$tree" && dep_step "building PostgreSQL's port library" "$work/port.log" \
    "${make[@]}" -C src/port libpgport_shlib.a)
  (cd "$tree" && dep_step "building PostgreSQL's common library" "$work/common.log" \
    "${make[@]}" -C src/common libpgcommon_shlib.a)
  # libpq's objects by its own Makefile's list, without the DLL's version
  # resource and without linking the DLL.
  local objects
  # shellcheck disable=SC2016  # $(OBJS) is make's, not the shell's
  objects=$(cd "$tree/src/interfaces/libpq" &&
    make -s -f Makefile -f <(printf 'srom-objects:\n\t@echo $(OBJS)\n') srom-objects)
  objects=$(tr ' ' '\n' <<<"$objects" | grep '\.o$' | grep -v 'rc\.o$' | tr '\n' ' ')
  [[ $objects == *fe-connect.o* && $objects == *fe-secure-openssl.o* ]] ||
    dep_fail "libpq's Makefile lists no fe-connect.o or fe-secure-openssl.o: $objects"
  # shellcheck disable=SC2086  # a list of file names without spaces
  (cd "$tree" && dep_step "building libpq's objects" "$work/libpq.log" \
    "${make[@]}" -C src/interfaces/libpq $objects)

  local out=$work/out
  mkdir -p "$out/lib" "$out/include"
  {
    echo "CREATE $out/lib/libpq-joined.a"
    for o in $objects; do echo "ADDMOD $tree/src/interfaces/libpq/$o"; done
    echo "ADDLIB $tree/src/common/libpgcommon_shlib.a"
    echo "ADDLIB $tree/src/port/libpgport_shlib.a"
    echo "SAVE"
    echo "END"
  } >"$work/libpq.mri"
  dep_step "joining libpq's objects with the port and common libraries" "$work/ar.log" \
    $host-ar -M <"$work/libpq.mri"
  for name in "${renamed[@]}"; do echo "$name srom_pq_$name"; done >"$work/renamed.syms"
  dep_step "renaming libpq's own pthread functions" "$work/objcopy.log" \
    $host-objcopy --redefine-syms="$work/renamed.syms" "$out/lib/libpq-joined.a" "$out/lib/libpq.a"
  rm "$out/lib/libpq-joined.a"
  $host-ranlib "$out/lib/libpq.a"
  if $host-nm -g --defined-only "$out/lib/libpq.a" 2>/dev/null |
    grep -qwE "$(IFS='|'; echo "${renamed[*]}")"; then
    dep_fail "libpq.a still defines a pthread_* function of winpthreads' names"
  fi
  cp "$ssl/lib/libssl.a" "$ssl/lib/libcrypto.a" "$out/lib/"
  cp "$tree/src/interfaces/libpq/libpq-fe.h" "$tree/src/include/postgres_ext.h" \
    "$tree/src/include/pg_config_ext.h" "$out/include/"
  cat >"$out/VERSION" <<EOF
libpq from Debian's $package source package $version, with Debian's
patches, built for $host as one static library (libpq's objects with
PostgreSQL's port and common code, its pthread_* functions renamed
srom_pq_*), with OpenSSL's libssl.a and libcrypto.a from $ssl.
Built by scripts/libpq-for-windows.sh.
EOF
  # Into place in one step: a folder that is there is complete.
  mv "$out" "$prefix"
  rm -rf "$work"
}

if [[ ! -f $prefix/VERSION ]]; then
  # One build at a time on the machine; a second run waits and finds it done.
  mkdir -p "$dep_cache"
  exec 8>"$dep_cache/libpq.lock"
  flock 8
  [[ -f $prefix/VERSION ]] || build
  dep_prune libpq "$(basename "$prefix")"
fi
echo "$prefix"
