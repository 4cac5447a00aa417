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

# A line's certificate authority and its server's certificate, made with
# the openssl command (the stations verify the server against the first):
#
#   pg_make_ca <dir> <days>                 writes <dir>/root.key, root.crt
#   pg_make_server_cert <ca-dir> <out-dir> <days> <name>...
#                                           writes <out-dir>/server.key (0600)
#                                           and server.crt, for each name (a
#                                           host name or an IP address; the
#                                           first is its common name)
pg_make_ca() {
  (umask 077 && openssl req -x509 -newkey rsa:2048 -nodes -days "$2" \
    -subj "/CN=srom-tool line CA" -keyout "$1/root.key" -out "$1/root.crt") &&
    chmod 644 "$1/root.crt"
}

pg_make_server_cert() {
  local ca=$1 out=$2 days=$3 names="" name
  shift 3
  for name in "$@"; do
    if [[ $name =~ ^[0-9.]+$ || $name == *:* ]]; then
      names+=",IP:$name"
    else
      names+=",DNS:$name"
    fi
  done
  (umask 077 && openssl req -newkey rsa:2048 -nodes -subj "/CN=$1" \
    -keyout "$out/server.key" -out "$out/server.csr") &&
    openssl x509 -req -in "$out/server.csr" -days "$days" -CA "$ca/root.crt" \
      -CAkey "$ca/root.key" -CAcreateserial -out "$out/server.crt" \
      -extfile <(echo "subjectAltName=${names#,}") &&
    rm -f "$out/server.csr"
}
