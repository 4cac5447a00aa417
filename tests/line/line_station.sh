# shellcheck shell=bash
# What the line's end-to-end tests share: stations of the Windows build's
# programs run under wine (and a Linux srom-cli beside them) on the server
# that tests/support/pg_tcp_server.sh started. Sourced, not run. ctest gives:
#
#   WINE            wine64
#   SROM_CLI_EXE    srom-cli.exe of the Windows build
#   SERVER_FILES    the folder where pg_tcp_server.sh keeps conninfo and pgpass
#   PGPASSFILE      the server's password file, for libpq on both sides
#
# Every program runs under `timeout`: a hung one fails the test instead of
# holding ctest.
set -euo pipefail
export LC_ALL=C

: "${WINE:?}" "${SROM_CLI_EXE:?}" "${SERVER_FILES:?}" "${PGPASSFILE:?}"
# shellcheck source=../../scripts/postgres-programs.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/postgres-programs.sh"

work=$(mktemp -d /tmp/srom-line-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
# ctest's timeout ends the test with SIGTERM: the EXIT trap runs then too.
trap 'exit 143' TERM INT

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# The server's libpq keywords, without a database.
server=$(cat "$SERVER_FILES/conninfo")

# A new empty database on the server; prints the station's ledger address
# for it (no password: libpq takes that from PGPASSFILE).
new_ledger() {
  local name=$1 psql out
  psql="$(pg_bindir)/psql"
  if ! out=$(timeout 60 "$psql" "$server dbname=srom connect_timeout=10" \
    -v ON_ERROR_STOP=1 -qc "CREATE DATABASE $name" 2>&1 </dev/null); then
    fail "no database $name: $out"
  fi
  echo "$server dbname=$name"
}

# srom-cli.exe under wine; its exit code is the program's.
win_cli() {
  timeout 120 "$WINE" "$SROM_CLI_EXE" "$@" </dev/null
}

# A station folder with a blank simulated adapter and a station.ini naming
# the ledger, the station and its pool (none when empty). `cli` is the
# command that runs the station's srom-cli.
make_station() {
  local dir=$1 ledger=$2 name=$3 pool=$4 cli=$5 out
  mkdir -p "$dir"
  printf '; station %s of the test line\r\nledger=%s\r\nstation=%s\r\n' \
    "$name" "$ledger" "$name" >"$dir/station.ini"
  [[ -z $pool ]] || printf 'pool=%s\r\n' "$pool" >>"$dir/station.ini"
  out=$("$cli" --dir "$dir" sim create --size 256 2>&1) || fail "sim create in $name: $out"
}

# The MAC addresses of a station's Serial-MAC.log unit lines, one a line.
logged_macs() {
  [[ -f $1/Serial-MAC.log ]] || return 0
  awk -F'\t' '$1 ~ /\/(EEPROM|EFUSE)/ { print $3 }' "$1/Serial-MAC.log"
}

# Every unit on the server as "<station> <mac> <state> <pool>", one a line,
# from `srom-cli ledger --csv` on an office folder of its own.
server_units() {
  local ledger=$1 cli=$2 out
  mkdir -p "$work/office"
  out=$("$cli" --dir "$work/office" --ledger "$ledger" --station office \
    ledger --csv "$work/units.csv" 2>&1) || fail "ledger --csv: $out"
  # id,mac,serial,device_sel,image_digest,station,reserved_at,closed_at,state,
  # settings_saved,pool; no field here holds a comma.
  tr -d '\r' <"$work/units.csv" | awk -F, 'NR > 1 { print $6, $2, $9, $11 }'
}
