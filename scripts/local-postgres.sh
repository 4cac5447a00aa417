#!/usr/bin/env bash
# A PostgreSQL server to try the line's ledger with: one cluster in FOLDER,
# with the database "srom" for the database user "srom". Not the line's
# production server.
#
# Plain (the default): reached through a Unix socket in FOLDER only (no TCP),
# without a password: any local user who can reach the socket may connect.
#
# With --tls HOST (chosen at the first start; later starts keep it): reached
# over TCP on every address of this computer as a line's server is, TLS
# only, with a password (scram-sha-256). The first start makes a
# certificate authority of the server's own in FOLDER/ca (keep root.key
# there secret; give root.crt to every station), the server's certificate
# for HOST (the name or address the stations use), and FOLDER/pgpass, the
# password line for the stations' password file. The address it prints has
# the stations verify the server (sslmode=verify-full).
#
#   ./scripts/local-postgres.sh start  [--tls HOST] [FOLDER]   make the cluster on first use,
#                                                 start it, print the ledger address for the stations
#   ./scripts/local-postgres.sh stop   [FOLDER]
#   ./scripts/local-postgres.sh status [FOLDER]   exit status 0 when it runs, 3 when not
#
# FOLDER is ./local-postgres under the current folder unless given. The
# cluster is FOLDER/data, its log FOLDER/server.log. The port is SROM_PG_PORT,
# 5433 unless set at the first start (plain, it only names the socket file).
# Run as root, the server runs as the user postgres, which must be able to
# reach FOLDER. The PostgreSQL programs are installed with
# ./scripts/bootstrap.sh when they are missing.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0" >&2
  exit 2
}
[[ $# -ge 1 ]] || usage
action=$1
shift
case "$action" in start|stop|status) ;; *) usage ;; esac
tls_host=""
if [[ $action == start && ${1:-} == --tls ]]; then
  [[ $# -ge 2 && -n $2 ]] || usage
  tls_host=$2
  shift 2
  if [[ ! $tls_host =~ ^[A-Za-z0-9.:-]+$ ]]; then
    echo "HOST must be a host name or an IP address: $tls_host" >&2
    exit 2
  fi
fi
[[ $# -le 1 ]] || usage
folder=${1:-./local-postgres}
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

# The host the stations reach a TLS server by, or nothing for a plain one.
tls_host_of_cluster() {
  [[ ! -f "$folder/tls-host" ]] || cat "$folder/tls-host"
}

print_url() {
  local url host
  host=$(tls_host_of_cluster)
  if [[ -z $host ]]; then
    url="postgresql:///srom?host=$(url_encoded "$folder")&port=$1&user=srom"
  else
    [[ $host != *:* ]] || host="[$host]"
    url="postgresql://$host:$1/srom?user=srom&sslmode=verify-full&sslrootcert=$(url_encoded "$folder/ca/root.crt")"
  fi
  cat <<EOF
The ledger server in $folder runs. Point the stations at it, in station.ini:
  ledger=$url
or on the command line:
  srom-cli --ledger '$url' ...
EOF
  [[ -n $host ]] || return 0
  cat <<EOF
Each station needs two files of this folder:
  $folder/ca/root.crt
      the line's certificate authority: copy it to the station and name
      its place in sslrootcert= (ca/root.key stays here, secret)
  $folder/pgpass
      the password line: add it to the station's password file (~/.pgpass,
      mode 0600; on Windows %APPDATA%\\postgresql\\pgpass.conf)
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

# The first start with --tls: the cluster with a password for srom over TCP
# (TLS only), the line's certificate authority in FOLDER/ca, the server's
# certificate for the stations' host name, and the password line for them.
make_tls_cluster() {
  local port=$1 password log
  password=$(head -c 24 /dev/urandom | base64 | tr -d '/+=')
  (umask 077 && echo "$password" >"$folder/password")
  [[ ${#as_server[@]} -eq 0 ]] || chown "$user:" "$folder/password"
  if ! log=$(server_cmd "$bindir/initdb" -D "$data" -U srom --pwfile="$folder/password" \
               --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --no-locale 2>&1); then
    rm -f "$folder/password"
    echo "$log" >&2
    exit 1
  fi
  rm -f "$folder/password"
  mkdir -p "$folder/ca"
  if ! log=$(pg_make_ca "$folder/ca" 3650 2>&1 &&
               pg_make_server_cert "$folder/ca" "$folder" 825 "$tls_host" localhost 127.0.0.1 2>&1); then
    echo "Making the certificates failed: $log" >&2
    exit 1
  fi
  [[ ${#as_server[@]} -eq 0 ]] || chown "$user:" "$folder/server.key" "$folder/server.crt"
  # TCP takes TLS connections only.
  sed -i 's/^host\([[:space:]]\)/hostssl\1/' "$data/pg_hba.conf"
  sed -i 's/^\(hostssl[[:space:]].*\)127\.0\.0\.1\/32/\10.0.0.0\/0/; s/^\(hostssl[[:space:]].*\)::1\/128/\1::\/0/' \
    "$data/pg_hba.conf"
  cat >>"$data/postgresql.conf" <<EOF

# srom-tool's try server for a line: TCP with TLS and a password, and the
# Unix socket in its own folder for this computer's administration.
listen_addresses = '*'
unix_socket_directories = '$folder'
port = $port
password_encryption = 'scram-sha-256'
ssl = on
ssl_cert_file = '$folder/server.crt'
ssl_key_file = '$folder/server.key'
EOF
  (umask 077 && echo "*:$port:*:srom:$password" >"$folder/pgpass")
  echo "$tls_host" >"$folder/tls-host"
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
      if [[ -z $tls_host ]]; then
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
      else
        make_tls_cluster "$port"
      fi
    elif [[ -n $tls_host && $tls_host != "$(tls_host_of_cluster)" ]]; then
      echo "The server in $folder was made $(if [[ -f $folder/tls-host ]]; then
        echo "for the host $(tls_host_of_cluster)"; else echo "without TLS"; fi); --tls is chosen at its first start only." >&2
      exit 2
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
