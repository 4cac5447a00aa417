#!/usr/bin/env bash
# A PostgreSQL server to try the line's ledger with: one cluster in FOLDER,
# reached through a Unix socket in FOLDER only (no TCP), with the database
# "srom" for the database user "srom" (no password: any local user who can
# reach the socket may connect). Not the line's production server.
#
#   ./scripts/local-postgres.sh start  [FOLDER]   make the cluster on first use, start it,
#                                                 print the ledger URL for the stations
#   ./scripts/local-postgres.sh stop   [FOLDER]
#   ./scripts/local-postgres.sh status [FOLDER]   exit status 0 when it runs, 3 when not
#
# FOLDER is ./local-postgres under the current folder unless given. The
# cluster is FOLDER/data, its log FOLDER/server.log. The port (SROM_PG_PORT,
# 5433 unless set at the first start) only names the socket file. Run as
# root, the server runs as the user postgres, which must be able to reach
# FOLDER. The PostgreSQL programs are installed with ./scripts/bootstrap.sh
# when they are missing.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0" >&2
  exit 2
}
[[ $# -ge 1 && $# -le 2 ]] || usage
action=$1
case "$action" in start|stop|status) ;; *) usage ;; esac
folder=${2:-./local-postgres}
# shellcheck source=postgres-programs.sh
source "$repo/scripts/postgres-programs.sh"
pg_clean_env

bindir=$(pg_bindir)
if [[ -z "$bindir" ]]; then
  [[ "$action" == start ]] || { echo "PostgreSQL is not installed here." >&2; exit 1; }
  "$repo/scripts/bootstrap.sh" postgresql
  bindir=$(pg_bindir)
  [[ -n "$bindir" ]] || { echo "No initdb or pg_ctl after installing postgresql." >&2; exit 1; }
fi

if [[ "$action" == start ]]; then
  mkdir -p "$folder"
elif [[ ! -d "$folder/data" ]]; then
  echo "No server in $folder (start one with: $0 start $folder)." >&2
  exit 3
fi
folder=$(cd "$folder" && pwd -P)
data=$folder/data

pg_server_user

# The port as the cluster's settings have it.
port_of_cluster() {
  server_cmd "$bindir/postgres" -D "$data" -C port
}

# libpq URL encoding: all but unreserved characters and '/'.
url_encoded() {
  local text=$1 out="" c i
  local LC_ALL=C
  for ((i = 0; i < ${#text}; i++)); do
    c=${text:i:1}
    case "$c" in
      [A-Za-z0-9/._~-]) out+=$c ;;
      *) out+=$(printf '%%%02X' "'$c") ;;
    esac
  done
  echo "$out"
}

print_url() {
  local url
  url="postgresql:///srom?host=$(url_encoded "$folder")&port=$1&user=srom"
  cat <<EOF
The ledger server in $folder runs. Point the stations at it, in station.ini:
  ledger=$url
or on the command line:
  srom-cli --ledger '$url' ...
EOF
}

# pg_ctl status: 0 when the server runs, 3 when it does not; anything else
# (4: the cluster cannot be read) stops here.
running() {
  local code=0
  server_cmd "$bindir/pg_ctl" -D "$data" status >/dev/null 2>&1 || code=$?
  if [[ $code -ne 0 && $code -ne 3 ]]; then
    echo "Cannot look into $data as $(id -un): start, stop and ask as its owner (or root)." >&2
    exit 1
  fi
  return "$code"
}

case "$action" in
  status)
    if running; then
      print_url "$(port_of_cluster)"
    else
      echo "The ledger server in $folder is stopped."
      exit 3
    fi
    ;;
  stop)
    if running; then
      server_cmd "$bindir/pg_ctl" -D "$data" -m fast -w stop >/dev/null
      echo "The ledger server in $folder is stopped."
    else
      echo "The ledger server in $folder was not running."
    fi
    ;;
  start)
    if [[ ! -f "$data/PG_VERSION" ]]; then
      port=${SROM_PG_PORT:-5433}
      # The socket's path must stay short, and the folder goes into the
      # server's settings as it is.
      socket="$folder/.s.PGSQL.$port"
      if [[ ${#socket} -gt 100 ]]; then
        echo "The socket $socket would be too long a path: choose a shorter FOLDER." >&2
        exit 1
      fi
      if [[ "$folder" == *[\',\"\\]* ]]; then
        echo "FOLDER must not hold quotes, commas or backslashes: $folder" >&2
        exit 1
      fi
      if [[ ${#as_server[@]} -gt 0 ]]; then
        chown "$user:" "$folder"
        if ! server_cmd test -w "$folder"; then
          echo "The user $user cannot reach $folder: choose a folder it can (under /srv or /tmp)." >&2
          exit 1
        fi
      fi
      if ! log=$(server_cmd "$bindir/initdb" -D "$data" -U srom --auth=trust \
                   -E UTF8 --no-locale 2>&1); then
        echo "$log" >&2
        exit 1
      fi
      cat >>"$data/postgresql.conf" <<EOF

# srom-tool's try server: a Unix socket in its own folder, no TCP.
listen_addresses = ''
unix_socket_directories = '$folder'
port = $port
EOF
    fi
    port=$(port_of_cluster)
    if ! running; then
      if ! server_cmd "$bindir/pg_ctl" -D "$data" -l "$folder/server.log" -w start >/dev/null; then
        echo "The server did not start; the end of $folder/server.log:" >&2
        tail -n 20 "$folder/server.log" >&2
        exit 1
      fi
    fi
    exists=$("$bindir/psql" -X -A -t -h "$folder" -p "$port" -U srom -d postgres \
               -c "select 1 from pg_database where datname = 'srom'")
    [[ "$exists" == 1 ]] || "$bindir/createdb" -h "$folder" -p "$port" -U srom srom
    print_url "$port"
    ;;
esac
