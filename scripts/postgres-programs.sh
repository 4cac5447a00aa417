# shellcheck shell=bash
# Debian's PostgreSQL programs, for the scripts that run a server of their
# own in a folder (scripts/local-postgres.sh and the tests' TCP server).
# Sourced, not run:
#
#   source scripts/postgres-programs.sh
#   pg_clean_env        # no PG* variable of the caller's steers the programs
#   pg_bindir           # prints the folder of initdb and pg_ctl, or nothing
#   pg_server_user      # sets user and as_server: PostgreSQL refuses to run
#                       # as root, so as root the server runs as postgres
#                       # (or nobody)
#   server_cmd <cmd...> # runs a server program in $folder as that user (it
#                       # may not enter the caller's current folder)

pg_clean_env() {
  local name
  while read -r name; do unset "$name"; done < <(compgen -e | grep '^PG' || true)
}

# What pg_config names, or the newest /usr/lib/postgresql/<version>/bin.
pg_bindir() {
  local dir
  if command -v pg_config >/dev/null; then
    dir=$(pg_config --bindir)
    [[ -x "$dir/initdb" && -x "$dir/pg_ctl" ]] && { echo "$dir"; return; }
  fi
  while read -r dir; do
    [[ -x "$dir/initdb" && -x "$dir/pg_ctl" ]] && { echo "$dir"; return; }
  done < <(printf '%s\n' /usr/lib/postgresql/*/bin | sort -V -r)
}

pg_server_user() {
  as_server=()
  user=$(id -un)
  if [[ $(id -u) -eq 0 ]]; then
    user=postgres
    id -u "$user" >/dev/null 2>&1 || user=nobody
    as_server=(setpriv --reuid="$(id -u "$user")" --regid="$(id -g "$user")" --clear-groups --)
  fi
}

server_cmd() {
  # shellcheck disable=SC2154  # folder is the caller's
  (cd "$folder" && ${as_server[@]+"${as_server[@]}"} "$@")
}
