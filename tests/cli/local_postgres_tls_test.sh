#!/usr/bin/env bash
# scripts/local-postgres.sh --tls starts a server as a line has it, and a
# station reaches it with nothing but what the script printed and the two
# files it named: the address (sslmode=verify-full), the certificate
# authority and the password line. A later start keeps the server's TLS;
# asking for another host is refused.
#
#   local_postgres_tls_test.sh CLI
set -euo pipefail

source "$(dirname "$0")/local_postgres_test_setup.sh"

said=$(timeout 120 "$script" start --tls 127.0.0.1 "$server")
address=$(sed -n 's/^  ledger=//p' <<<"$said")
[[ $address == *sslmode=verify-full* ]] || { echo "no verifying address in: $said" >&2; exit 1; }
[[ $said == *"$server/ca/root.crt"* && $said == *"$server/pgpass"* ]] ||
  { echo "the station's files are not named: $said" >&2; exit 1; }
[[ $(stat -c %a "$server/pgpass") == 600 && $(stat -c %a "$server/ca/root.key") == 600 ]] ||
  { echo "the password or the CA's key is readable by others" >&2; exit 1; }

program() {
  mkdir -p "$work/station"
  (cd "$work/station" && PGPASSFILE=$server/pgpass timeout 60 "$cli" --ledger "$address" program \
    2>&1 >/dev/null | tail -n 1)
}
[[ $(program) == PASS ]] || { echo "the station could not program: $(program)" >&2; exit 1; }

# Stopped and started again without --tls: the same server, TLS and all.
timeout 60 "$script" stop "$server" >/dev/null
again=$(timeout 60 "$script" start "$server")
[[ $(sed -n 's/^  ledger=//p' <<<"$again") == "$address" ]] ||
  { echo "the address changed at the next start: $again" >&2; exit 1; }
[[ $(program) == PASS ]] || { echo "no unit after the restart" >&2; exit 1; }

# Without the password line, the server refuses the station.
mkdir -p "$work/nopass"
code=0
(cd "$work/nopass" && PGPASSFILE=$work/none timeout 60 "$cli" --ledger "$address" program \
  >/dev/null 2>&1) || code=$?
[[ $code -eq 13 ]] || { echo "without the password: exit $code, not 13" >&2; exit 1; }

code=0
timeout 60 "$script" start --tls another.host "$server" >/dev/null 2>&1 || code=$?
[[ $code -eq 2 ]] || { echo "another host at a later start: exit $code, not 2" >&2; exit 1; }
echo "passed"
