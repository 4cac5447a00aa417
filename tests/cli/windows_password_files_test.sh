#!/usr/bin/env bash
# A Windows station keeps the server and its password out of station.ini,
# in libpq's own files under %APPDATA%\postgresql: a service named in
# station.ini (".pg_service.conf") and the password for it ("pgpass.conf").
# srom-cli.exe under wine programs a unit through them, with no PGPASSFILE
# or PGSERVICEFILE to point it there.
#
#   windows_password_files_test.sh SERVER_FILES SROM-CLI.EXE
set -euo pipefail

[[ $# -eq 2 ]] || { echo "usage: $0 SERVER_FILES SROM-CLI.EXE" >&2; exit 2; }
server=$1
exe=$(realpath "$2")
[[ -n ${WINEPREFIX:-} ]] || { echo "WINEPREFIX is not set" >&2; exit 1; }
unset PGPASSFILE PGSERVICEFILE PGSERVICE
conninfo=$(cat "$server/conninfo")
value() { sed -n "s/.*\\b$1=\\([^ ]*\\).*/\\1/p" <<<"$conninfo"; }

appdata=$(timeout 60 wine64 cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
# C:\users\<name>\AppData\Roaming, in the prefix's drive_c.
folder=$WINEPREFIX/drive_c/${appdata#?:\\}
folder=${folder//\\//}/postgresql
[[ ! -e $folder ]] || { echo "$folder is there already: not touched" >&2; exit 1; }
work=$(mktemp -d /tmp/srom-win-pgfiles.XXXXXX)
trap 'rm -rf "$folder" "$work"' EXIT
mkdir -p "$folder" "$work/station"

database=win_files_$$_$RANDOM
PGPASSFILE=$server/pgpass timeout 30 psql -X -q "$conninfo dbname=srom" \
  -c "CREATE DATABASE $database" >/dev/null
printf '[line1]\r\nhost=%s\r\nport=%s\r\ndbname=%s\r\nuser=%s\r\nsslmode=verify-full\r\nsslrootcert=%s\r\n' \
  "$(value host)" "$(value port)" "$database" "$(value user)" "$(value sslrootcert)" \
  >"$folder/.pg_service.conf"
cp "$server/pgpass" "$folder/pgpass.conf"
printf '; station on the line\r\nledger=service=line1\r\n' >"$work/station/station.ini"

code=0
(cd "$work/station" && timeout 60 wine64 "$exe" program >/dev/null 2>"$work/err.txt") || code=$?
[[ $code -eq 0 ]] || { echo "exit $code: $(cat "$work/err.txt")" >&2; exit 1; }

# Without the password file the server refuses the station: the unit passed
# through it, not through some other way in.
rm "$folder/pgpass.conf"
code=0
(cd "$work/station" && timeout 60 wine64 "$exe" program >/dev/null 2>"$work/err.txt") || code=$?
[[ $code -eq 13 ]] || { echo "without pgpass.conf: exit $code, not 13: $(cat "$work/err.txt")" >&2; exit 1; }
echo "passed"
