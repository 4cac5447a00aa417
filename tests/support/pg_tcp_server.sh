#!/usr/bin/env bash
# A throwaway PostgreSQL server for the Windows build's tests of the line's
# ledger, which run under wine and cannot start one themselves: a fresh
# cluster in a new folder under /tmp, on 127.0.0.1 over TCP, TLS only, with
# scram-sha-256, as a line's server is reached. Its certificate is signed by
# a certificate authority made for it, for 127.0.0.1 and localhost. Debian's
# initdb and pg_ctl (the postgresql package) and openssl; as root the server
# runs as postgres (or nobody).
#
#   pg_tcp_server.sh start <where>   starts one; writes <where>/conninfo (the
#                                    server's libpq keywords: host, port,
#                                    user, sslmode=verify-full and
#                                    sslrootcert=<where>/root.crt; no
#                                    database and no password; the user may
#                                    create databases, and "srom" is there)
#                                    and <where>/pgpass (the password, for
#                                    libpq's PGPASSFILE)
#   pg_tcp_server.sh stop <where>    stops it at once and removes its folder
#   pg_tcp_server.sh freeze <where>  stops every process of the server with
#                                    SIGSTOP (the postmaster first, so that it
#                                    starts no new one), as a machine that
#                                    hangs: its port still takes connections,
#                                    and nothing answers
#   pg_tcp_server.sh thaw <where>    lets them all go on (SIGCONT), where
#                                    they were
#
# Every wait has its deadline: the server starts and stops within 30 s.
set -euo pipefail

[[ $# -eq 2 && $1 =~ ^(start|stop|freeze|thaw)$ ]] || {
  echo "usage: $0 start|stop|freeze|thaw <where>" >&2
  exit 2
}
action=$1
where=$2
# shellcheck source=../../scripts/postgres-programs.sh
source "$(dirname "$0")/../../scripts/postgres-programs.sh"
pg_clean_env

bindir=$(pg_bindir)
[[ -n $bindir ]] || { echo "pg_tcp_server: no initdb or pg_ctl (Debian's postgresql)" >&2; exit 1; }
pg_server_user

# The postmaster, then its children, by the server's pid file.
server_processes() {
  local postmaster
  postmaster=$(head -n 1 "$folder/data/postmaster.pid" 2>/dev/null) || return 0
  [[ $postmaster =~ ^[0-9]+$ ]] || return 0
  echo "$postmaster"
  pgrep -P "$postmaster" || true
}

if [[ $action == freeze || $action == thaw ]]; then
  folder=$(cat "$where/folder")
  mapfile -t processes < <(server_processes)
  [[ ${#processes[@]} -gt 0 ]] || { echo "pg_tcp_server: no server in $folder" >&2; exit 1; }
  if [[ $action == freeze ]]; then
    # The postmaster first; its children listed again once it can start no
    # new one. A child may end meanwhile.
    kill -STOP "${processes[0]}"
    mapfile -t processes < <(server_processes)
    kill -STOP "${processes[@]:1}" 2>/dev/null || true
  else
    # The children first: the postmaster, going on, finds them going too.
    kill -CONT "${processes[@]:1}" 2>/dev/null || true
    kill -CONT "${processes[0]}"
  fi
  exit 0
fi

if [[ $action == stop ]]; then
  [[ -f $where/folder ]] || exit 0
  folder=$(cat "$where/folder")
  if [[ -d $folder/data ]]; then
    # A frozen server would take no signal to stop.
    mapfile -t processes < <(server_processes)
    [[ ${#processes[@]} -eq 0 ]] || kill -CONT "${processes[@]}" 2>/dev/null || true
    server_cmd "$bindir/pg_ctl" -D "$folder/data" -m immediate -w -t 30 stop >/dev/null 2>&1 || true
  fi
  rm -rf "$folder" "$where/folder" "$where/conninfo" "$where/pgpass" "$where/root.crt"
  exit 0
fi

mkdir -p "$where"
"$0" stop "$where"
folder=$(mktemp -d /tmp/srom-pg-tcp.XXXXXX)
echo "$folder" >"$where/folder"
[[ ${#as_server[@]} -eq 0 ]] || chown "$user:" "$folder"
password=$(head -c 24 /dev/urandom | base64 | tr -d '/+=')
(umask 077 && echo "$password" >"$folder/password")
[[ ${#as_server[@]} -eq 0 ]] || chown "$user:" "$folder/password"

# The local socket (in the server's own folder) is the tests' back door for
# the server's user only; TCP asks every client for the password.
if ! out=$(server_cmd "$bindir/initdb" -D "$folder/data" -U srom --pwfile="$folder/password" \
  --auth-local=trust --auth-host=scram-sha-256 -E UTF8 --no-locale 2>&1); then
  echo "pg_tcp_server: initdb failed: $out" >&2
  exit 1
fi
rm "$folder/password"

# The certificate authority and the server's certificate, both for the
# server's run only.
tls() {
  pg_make_ca "$folder" 2 && pg_make_server_cert "$folder" "$folder" 2 localhost 127.0.0.1
}
if ! out=$(tls 2>&1); then
  echo "pg_tcp_server: making the server's certificate failed: $out" >&2
  exit 1
fi
[[ ${#as_server[@]} -eq 0 ]] || chown "$user:" "$folder/server.key" "$folder/server.crt"
# TCP takes TLS connections only.
sed -i 's/^host\([[:space:]]\)/hostssl\1/' "$folder/data/pg_hba.conf"

# A free port: the first of a few random ones the server can listen on.
for attempt in 1 2 3 4 5 6 7 8; do
  port=$((20000 + RANDOM % 20000))
  cat >>"$folder/data/postgresql.conf" <<EOF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$folder'
password_encryption = 'scram-sha-256'
ssl = on
ssl_cert_file = '$folder/server.crt'
ssl_key_file = '$folder/server.key'
fsync = off
EOF
  if server_cmd "$bindir/pg_ctl" -D "$folder/data" -l "$folder/server.log" -w -t 30 \
    start >/dev/null 2>&1; then
    break
  fi
  if [[ $attempt -eq 8 ]]; then
    echo "pg_tcp_server: the server did not start; the end of its log:" >&2
    tail -n 20 "$folder/server.log" >&2
    exit 1
  fi
done

if ! out=$(server_cmd "$bindir/createdb" -h "$folder" -p "$port" -U srom srom 2>&1); then
  echo "pg_tcp_server: createdb failed: $out" >&2
  exit 1
fi
(umask 077 && echo "127.0.0.1:$port:*:srom:$password" >"$where/pgpass")
cp "$folder/root.crt" "$where/root.crt"
echo "host=127.0.0.1 port=$port user=srom sslmode=verify-full sslrootcert=$where/root.crt" \
  >"$where/conninfo"
