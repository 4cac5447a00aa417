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
# With --standby (chosen at the first start; plain only): a primary and a
# standby that keeps a copy of it, so that the line outlives the primary's
# machine. The standby is a copy made with pg_basebackup, fed through a
# replication slot, and synchronous: the primary answers a commit only once
# the standby has it, so a reservation a station was told about survives the
# primary. (Asynchronous, a commit the standby had not received yet is lost
# when it takes over, and its MAC address is given again.) While the standby
# is away, no commit is answered and the stations program nothing: the price
# of the promise. The address printed names both, and the stations find the
# one that takes writes by themselves (target_session_attrs=read-write).
#
#   ./scripts/local-postgres.sh start    [--tls HOST | --standby] [FOLDER]
#                                 make the cluster(s) on first use, start
#                                 them, print the ledger address for the
#                                 stations
#   ./scripts/local-postgres.sh stop     [FOLDER]
#   ./scripts/local-postgres.sh status   [FOLDER]   which runs and which is the
#                                 primary; exit status 0 when the primary
#                                 runs, 3 when not
#   ./scripts/local-postgres.sh failover [FOLDER]   (--standby) stops the
#                                 primary at once, as a crash would, and makes
#                                 the standby the primary; the old primary is
#                                 retired for good (never started again: it
#                                 would be a second primary)
#
# FOLDER is ./local-postgres under the current folder unless given. The
# cluster is FOLDER/data, its log FOLDER/server.log. The port is SROM_PG_PORT,
# 5433 unless set at the first start (plain, it only names the socket file).
# The standby is FOLDER/standby, its log FOLDER/standby.log, its socket in
# FOLDER as well, on the next port.
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
case "$action" in start|stop|status|failover) ;; *) usage ;; esac
tls_host=""
with_standby=""
if [[ $action == start && ${1:-} == --standby ]]; then
  with_standby=yes
  shift
elif [[ $action == start && ${1:-} == --tls ]]; then
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
standby=$folder/standby
# The standby's name: the one the primary waits for, and its slot's.
standby_name=standby

pg_server_user

# The port as the settings of the cluster in $1 have it.
port_of() {
  server_cmd "$bindir/postgres" -D "$1" -C port
}

has_standby() {
  [[ -f $standby/PG_VERSION ]]
}

# A primary that a failover left behind: it may hold commits the new primary
# never saw, so it is never started again by this script (and, started by
# hand, it comes up read-only: the stations pass it by).
retired() {
  [[ -f $1/srom-retired ]]
}

# primary, standby or retired.
role_of() {
  if retired "$1"; then
    echo retired
  elif [[ -f $1/standby.signal ]]; then
    echo standby
  else
    echo primary
  fi
}

# The cluster that takes the stations' writes: the one that is neither a
# standby nor retired (none when a failover has not been finished).
primary_cluster() {
  local dir
  for dir in "$data" "$standby"; do
    [[ -f $dir/PG_VERSION && $(role_of "$dir") == primary ]] && { echo "$dir"; return; }
  done
  return 0
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

# psql on the primary's socket as srom, quiet, rows unaligned.
psql_at() {
  "$bindir/psql" -X -q -A -t -v ON_ERROR_STOP=1 -h "$folder" -p "$1" -U srom -d "${2:-postgres}" -c "$3"
}

print_url() {
  local url host here
  host=$(tls_host_of_cluster)
  here=$(url_encoded "$folder")
  if [[ -n $host ]]; then
    [[ $host != *:* ]] || host="[$host]"
    url="postgresql://$host:$(port_of "$data")/srom?user=srom&sslmode=verify-full&sslrootcert=$(url_encoded "$folder/ca/root.crt")"
  elif has_standby; then
    # Both, in the order they were made: a station tries each in turn and
    # stays with the one that takes writes.
    url="postgresql:///srom?host=$here,$here&port=$(port_of "$data"),$(port_of "$standby")&user=srom&target_session_attrs=read-write"
  else
    url="postgresql:///srom?host=$here&port=$(port_of "$data")&user=srom"
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

# pg_ctl status of the cluster in $1: 0 when it runs, 3 when it does not;
# anything else (4: the cluster cannot be read) stops here.
running() {
  local code=0
  server_cmd "$bindir/pg_ctl" -D "$1" status >/dev/null 2>&1 || code=$?
  if [[ $code -ne 0 && $code -ne 3 ]]; then
    echo "Cannot look into $1 as $(id -un): start, stop and ask as its owner (or root)." >&2
    exit 1
  fi
  return "$code"
}

# Starts the cluster in $1 (its log $2) unless it runs.
start_cluster() {
  running "$1" && return 0
  if ! server_cmd "$bindir/pg_ctl" -D "$1" -l "$2" -w -t 60 start >/dev/null; then
    echo "The server in $1 did not start; the end of $2:" >&2
    tail -n 20 "$2" >&2
    exit 1
  fi
}

# How the primary on port $1 sees its standby: sync, async, or nothing
# when the standby is not connected.
standby_state() {
  psql_at "$1" postgres "select sync_state from pg_stat_replication
                         where application_name = '$standby_name'" 2>/dev/null || true
}

# Waits up to 30 s for the standby to follow the primary on port $1
# synchronously.
wait_for_standby() {
  local i
  for ((i = 0; i < 300; i++)); do
    [[ $(standby_state "$1") == sync ]] && return 0
    sleep 0.1
  done
  echo "The standby in $standby does not follow the primary (see $folder/standby.log):" \
    "no commit is answered until it does." >&2
  return 1
}

# The standby of the primary in $data (on port $1): a copy of it made
# through the replication protocol, fed from a slot of its own on the
# primary so that the primary keeps what the standby has not received yet,
# on the next port. The primary then waits for it at every commit.
make_standby() {
  local port=$1 standby_port=$(($1 + 1)) log
  psql_at "$port" postgres "select pg_create_physical_replication_slot('$standby_name')
      where not exists (select 1 from pg_replication_slots where slot_name = '$standby_name')" >/dev/null
  rm -rf "$standby"
  if ! log=$(server_cmd "$bindir/pg_basebackup" -h "$folder" -p "$port" -U srom -D "$standby" \
               -X stream -S "$standby_name" --checkpoint=fast 2>&1); then
    rm -rf "$standby"
    echo "pg_basebackup failed: $log" >&2
    exit 1
  fi
  server_cmd touch "$standby/standby.signal"
  cat >>"$standby/postgresql.conf" <<EOF

# srom-tool's try server: the standby of the primary in $data, on the
# next port, fed through its replication slot.
port = $standby_port
primary_conninfo = 'host=$folder port=$port user=srom application_name=$standby_name'
primary_slot_name = '$standby_name'
EOF
  start_cluster "$standby" "$folder/standby.log"
  psql_at "$port" postgres "alter system set synchronous_standby_names = '$standby_name'" >/dev/null
  psql_at "$port" postgres "select pg_reload_conf()" >/dev/null
  wait_for_standby "$port" || true
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

# One line per cluster: where, its port, its part, whether it runs.
describe_clusters() {
  local dir part port primary_port
  primary_port=""
  for dir in "$data" "$standby"; do
    [[ -f $dir/PG_VERSION ]] || continue
    part=$(role_of "$dir")
    port=$(port_of "$dir")
    if running "$dir"; then
      [[ $part != primary ]] || primary_port=$port
      echo "  $dir (port $port): $part, runs"
    else
      echo "  $dir (port $port): $part, stopped"
    fi
  done
  [[ -n $primary_port ]] && has_standby || return 0
  case $(standby_state "$primary_port") in
    sync) echo "  the standby follows the primary synchronously" ;;
    async) echo "  the standby follows the primary asynchronously: a failover may lose the last commits" ;;
    *) [[ $(role_of "$standby") != standby ]] ||
         echo "  the standby does not follow the primary: no commit is answered until it does" ;;
  esac
}

case "$action" in
  status)
    primary=$(primary_cluster)
    if has_standby; then
      echo "The ledger servers in $folder:"
      describe_clusters
    fi
    if [[ -n $primary ]] && running "$primary"; then
      print_url
    else
      echo "The ledger server in $folder is stopped."
      exit 3
    fi
    ;;
  stop)
    stopped=""
    # The primary first: a fast stop sends the standby everything first.
    clusters=("$data" "$standby")
    primary=$(primary_cluster)
    [[ -z $primary ]] || clusters=("$primary" "${clusters[@]}")
    for dir in "${clusters[@]}"; do
      if [[ -f $dir/PG_VERSION ]] && running "$dir"; then
        server_cmd "$bindir/pg_ctl" -D "$dir" -m fast -w -t 60 stop >/dev/null
        stopped=yes
      fi
    done
    if [[ -n $stopped ]]; then
      echo "The ledger server in $folder is stopped."
    else
      echo "The ledger server in $folder was not running."
    fi
    ;;
  failover)
    if retired "$data"; then
      echo "The standby in $standby took over already; there is no other to take over." >&2
      exit 2
    fi
    if ! has_standby || [[ $(role_of "$standby") != standby ]]; then
      echo "There is no standby in $folder to take over (make one with: $0 start --standby $folder)." >&2
      exit 2
    fi
    if ! running "$standby"; then
      echo "The standby in $standby does not run: start it first ($0 start $folder)." >&2
      exit 1
    fi
    began=$(date +%s%N)
    # At once, as the primary's machine dying would: no checkpoint, every
    # session cut off. It never comes back as a primary.
    if running "$data"; then
      server_cmd "$bindir/pg_ctl" -D "$data" -m immediate -w -t 60 stop >/dev/null
    fi
    server_cmd touch "$data/srom-retired" "$data/standby.signal"
    if ! server_cmd "$bindir/pg_ctl" -D "$standby" -w -t 60 promote >/dev/null; then
      echo "The standby in $standby was not promoted; the end of $folder/standby.log:" >&2
      tail -n 20 "$folder/standby.log" >&2
      exit 1
    fi
    # The new primary has no standby of its own: were it to wait for one, it
    # would answer no commit.
    port=$(port_of "$standby")
    psql_at "$port" postgres "alter system set synchronous_standby_names = ''" >/dev/null
    psql_at "$port" postgres "select pg_reload_conf()" >/dev/null
    echo "The standby in $standby is the primary now, after $((($(date +%s%N) - began) / 1000000)) ms;" \
      "the old primary in $data is stopped and retired. It runs without a standby."
    print_url
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
    elif [[ -n $with_standby && ! -f $standby/PG_VERSION && -n $(tls_host_of_cluster) ]]; then
      echo "The server in $folder was made with TLS; --standby is for a plain one." >&2
      exit 2
    fi
    primary=$(primary_cluster)
    if [[ -z $primary ]]; then
      echo "No primary in $folder: finish the failover ($0 failover $folder)." >&2
      exit 1
    fi
    if [[ $primary == "$data" ]]; then
      start_cluster "$data" "$folder/server.log"
    else
      start_cluster "$standby" "$folder/standby.log"
    fi
    port=$(port_of "$primary")
    exists=$(psql_at "$port" postgres "select 1 from pg_database where datname = 'srom'")
    [[ "$exists" == 1 ]] || "$bindir/createdb" -h "$folder" -p "$port" -U srom srom
    if [[ -n $with_standby && ! -f $standby/PG_VERSION ]]; then
      make_standby "$port"
    elif has_standby && [[ $(role_of "$standby") == standby ]]; then
      start_cluster "$standby" "$folder/standby.log"
      wait_for_standby "$port" || true
    fi
    print_url
    ;;
esac
