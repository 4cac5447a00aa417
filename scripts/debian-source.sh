# shellcheck shell=bash
# Debian's source packages for the Windows cross build's libraries, and the
# cache that keeps what is built from them. Sourced by the *-for-windows.sh
# scripts, not run:
#
#   source scripts/debian-source.sh
#   dep_init <name>                  # names the caller in its messages
#   dep_source_version <package>     # the version the release's main holds
#   dep_source_fetch <package> <dir> # downloaded, checked, unpacked into <dir>
#   dep_key <version> <file...>      # a cache key: version and content hash
#
# The sources index is read into a private apt state, so that the system's
# apt configuration and lists stay as they are, and only the release's main
# pool is asked (no security pool). The index is kept in the cache and read
# again at most once a day, so a cached build needs no network at all.
#
# What the scripts build lives under
#   ${XDG_CACHE_HOME:-$HOME/.cache}/srom-tool/<library>/<key>
# outside any checkout: a clean clone's CI run on the same machine finds it
# again. The key holds the source package's version and a hash of the script
# that built it, so a new Debian release or a changed recipe builds anew.

dep_cache=${XDG_CACHE_HOME:-$HOME/.cache}/srom-tool
dep_name=debian-source

dep_init() {
  dep_name=$1
  mkdir -p "$dep_cache"
}

dep_fail() {
  echo "$dep_name: $1" >&2
  if [[ -n ${2:-} && -s $2 ]]; then
    echo "--- the end of $2:" >&2
    tail -n 25 "$2" >&2
  fi
  exit 1
}

# dep_step <what> <log> <command...>: runs the command with its output in
# <log>; on failure says what failed and shows the log's end.
dep_step() {
  local what=$1 log=$2
  shift 2
  "$@" >"$log" 2>&1 || dep_fail "$what failed (its log: $log)" "$log"
}

dep_apt_options() {
  local apt=$dep_cache/apt
  dep_apt=(
    -o Dir::Etc::sourcelist=/dev/null
    -o "Dir::Etc::sourceparts=$apt"
    -o "Dir::State::Lists=$apt/lists"
    -o "Dir::Cache=$apt/cache"
  )
  # As root, apt would hand the download to its _apt user, who may not write
  # into the cache.
  [[ $(id -u) -ne 0 ]] || dep_apt+=(-o APT::Sandbox::User=root)
}

# Reads the release's sources index when it is missing or a day old. A failed
# read with an older index at hand goes on with that one.
dep_index() {
  local apt=$dep_cache/apt codename
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  [[ -n $codename ]] || dep_fail "/etc/os-release names no Debian release (VERSION_CODENAME)"
  mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial"
  dep_apt_options
  (
    flock 9
    cat >"$apt/debian-main.sources.new" <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    mv "$apt/debian-main.sources.new" "$apt/debian-main.sources"
    local stamp=$apt/read-at
    if [[ -f $stamp && -n $(find "$stamp" -mmin -1440) ]]; then
      exit 0
    fi
    if apt-get "${dep_apt[@]}" update >"$apt/update.log" 2>&1; then
      touch "$stamp"
    elif [[ ! -f $stamp ]]; then
      dep_fail "reading Debian's $codename sources index failed" "$apt/update.log"
    else
      echo "$dep_name: Debian's sources index could not be read again; using the one of $(date -r "$stamp")" >&2
    fi
  ) 9>"$dep_cache/apt.lock" || exit 1
}

dep_source_version() {
  dep_index
  local version
  version=$(apt-cache "${dep_apt[@]}" showsrc "$1" 2>/dev/null |
    awk '/^Version:/ {print $2; exit}')
  [[ -n $version ]] || dep_fail "Debian's sources index holds no source package $1"
  echo "$version"
}

# dep_source_fetch <package> <dir>: apt checks each file against the signed
# index; the .dsc's own SHA-256 sums are checked again here before
# dpkg-source unpacks it and applies Debian's patches.
dep_source_fetch() {
  local package=$1 dir=$2 dsc
  dep_index
  mkdir -p "$dir"
  (cd "$dir" && dep_step "downloading Debian's $package source package" \
    "$dir/apt-source.log" apt-get "${dep_apt[@]}" source --download-only "$package")
  dsc=$(find "$dir" -maxdepth 1 -name "${package}_*.dsc" | head -n 1)
  [[ -n $dsc ]] || dep_fail "apt-get left no .dsc for $package" "$dir/apt-source.log"
  awk '/^Checksums-Sha256:/ {on = 1; next} /^[^ ]/ {on = 0} on && NF == 3 {print $1 "  " $3}' \
    "$dsc" >"$dir/sha256sums"
  [[ -s $dir/sha256sums ]] || dep_fail "$(basename "$dsc") lists no SHA-256 sums"
  (cd "$dir" && dep_step "checking $(basename "$dsc")'s SHA-256 sums" "$dir/sha256.log" \
    sha256sum --strict -c sha256sums)
  (cd "$dir" && dep_step "unpacking $(basename "$dsc")" "$dir/dpkg-source.log" \
    dpkg-source -x "$(basename "$dsc")" src)
}

# dep_key <version> <file...>: the version (with characters a folder name
# dislikes replaced) and the first 12 digits of the files' SHA-256.
dep_key() {
  local version=${1//[^A-Za-z0-9.+-]/_}
  shift
  echo "$version-$(cat "$@" | sha256sum | cut -c1-12)"
}

# dep_prune <library> <key>: after <key> of <library> is built, keeps it and
# the newest other build (another checkout may still build with that one)
# and removes the older ones, and the work folders of builds that ended
# unfinished. Called under the library's lock, so no build of it runs.
dep_prune() {
  local dir=$dep_cache/$1 keep=$2 entry kept=0
  while read -r entry; do
    [[ -n $entry && $entry != "$keep" ]] || continue
    if [[ $entry == *.work || $kept -ge 1 ]]; then
      rm -rf "${dir:?}/$entry"
    else
      kept=1
    fi
  done < <(ls -t "$dir")
}
