#!/usr/bin/env bash
# A station reaches the line's server over TLS and trusts it only as its
# address says: with the line's certificate authority and the server's own
# name it programs a unit; with another authority, another host name, a
# root certificate that is not there, or TLS turned off, it refuses at once
# with exit 13 and a message that says why (never "cannot be reached", which
# would have the operator wait for a server that answers), and no MAC
# address is logged.
#
#   tls_trust_test.sh SERVER_FILES CLI [ARG...]
#
# SERVER_FILES is what tests/support/pg_tcp_server.sh start wrote (conninfo,
# pgpass, root.crt); CLI the srom-cli to run, with wine64 in front for the
# Windows build.
set -euo pipefail

[[ $# -ge 2 ]] || { echo "usage: $0 SERVER_FILES CLI [ARG...]" >&2; exit 2; }
server=$1
shift
cli=("$@")
[[ -f $server/conninfo ]] || { echo "no server: $server/conninfo is missing" >&2; exit 1; }
export PGPASSFILE=$server/pgpass
# A database of this test's own on the shared server.
database=tls_trust_$$_$RANDOM
timeout 30 psql -X -q "$(cat "$server/conninfo") dbname=srom" \
  -c "CREATE DATABASE $database" >/dev/null
address="$(cat "$server/conninfo") dbname=$database"

work=$(mktemp -d /tmp/srom-tls-trust.XXXXXX)
trap 'rm -rf "$work"' EXIT
# A certificate authority of nobody's line.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=another line's CA" \
  -keyout "$work/other.key" -out "$work/other.crt" 2>/dev/null

failures=0
fail() {
  echo "FAILED $1: $2" >&2
  failures=$((failures + 1))
}


# name | what the address adds | exit | words the message must hold
cases=(
  "the line's CA|sslrootcert=$server/root.crt|0|"
  "another CA|sslrootcert=$work/other.crt|13|is not trusted: connection to server at \"127.0.0.1\", port"
  "another CA's words|sslrootcert=$work/other.crt|13|certificate verify failed"
  "another host name|host=wrong.example hostaddr=127.0.0.1|13|does not match host name \"wrong.example\""
  "no root certificate|sslrootcert=$work/missing.crt|13|does not exist"
  "TLS turned off|sslmode=disable|13|no encryption"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name extra want words <<<"$row"
  station=$work/station-${name//[^a-z]/-}
  mkdir -p "$station"
  code=0
  (cd "$station" && timeout 60 "${cli[@]}" --ledger "$address $extra" program \
    >"$station/out.txt" 2>"$station/err.txt") || code=$?
  said=$(cat "$station/err.txt")
  [[ $code -eq $want ]] || fail "$name" "exit $code, not $want: $said"
  [[ -z $words || $said == *"$words"* ]] || fail "$name" "the message lacks \"$words\": $said"
  units=0
  [[ ! -f $station/Serial-MAC.log ]] || units=$(grep -c "000000000001" "$station/Serial-MAC.log" || true)
  if [[ $want -eq 0 ]]; then
    [[ $units -eq 1 ]] || fail "$name" "the unit is not logged once but $units times"
  else
    [[ $said != *"cannot be reached"* ]] || fail "$name" "refused as an outage: $said"
    [[ $units -eq 0 ]] || fail "$name" "a refused unit was logged"
  fi
done

if [[ $failures -ne 0 ]]; then
  echo "$failures checks failed" >&2
  exit 1
fi
echo "all ${#cases[@]} cases passed"
